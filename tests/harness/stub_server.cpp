// Stands where the library looks for its server in the harness folder, so
// the library starts this instead of the real one and the test's own fake
// server window answers. It does nothing.
int main() { return 0; }
