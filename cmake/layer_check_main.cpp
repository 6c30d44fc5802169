// The program of the layer link checks: it only has to link.
int main() { return 0; }
