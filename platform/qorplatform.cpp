// The shared platform library is made of the folders' static libraries, linked whole.
