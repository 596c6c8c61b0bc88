// Declarations only.
int Defined() { return 0; }
