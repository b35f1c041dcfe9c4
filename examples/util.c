/* A second unit for the sample archive. */
extern int counter;
int add(int a, int b) { return a + b + counter; }
int table[16] = {1, 2, 3};
