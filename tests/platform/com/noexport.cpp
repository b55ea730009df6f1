// A module that loads but exports no DllGetClassObject.
extern "C" int QorTestNothingToSee() { return 0; }
