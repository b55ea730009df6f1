// Window procedure thunks: each subclassed window object gets a window procedure of its own,
// so that "is my procedure still the window's procedure" has an answer. A thunk is a
// procedure from a fixed pool that calls a target function with the object it was given.
#pragma once

#include <cstddef>

#include "windef.h"

namespace ATL {

typedef LRESULT(CALLBACK* _AtlThunkProc)(HWND, UINT, WPARAM, LPARAM);
typedef LRESULT (*_AtlThunkTarget)(void* pThis, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// A thunk that calls pfnTarget(pThis, ...); null when every thunk of the pool is in use.
_AtlThunkProc AtlThunk_Allocate(void* pThis, _AtlThunkTarget pfnTarget);
// Points a thunk at another object or target; the procedure's address stays the same.
void AtlThunk_Retarget(_AtlThunkProc pThunk, void* pThis, _AtlThunkTarget pfnTarget);
// Returns the thunk to the pool. A freed thunk that is still called returns 0.
void AtlThunk_Free(_AtlThunkProc pThunk);
// How many thunks the pool holds in all.
std::size_t AtlThunk_PoolSize();

}  // namespace ATL
