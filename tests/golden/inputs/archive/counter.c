/* A small object for the archive tests: data, bss, a local and a global function. */
int counter = 3;
static int hidden;

static int bump(int by) { return hidden += by; }

int count_up(int by) { return bump(by) + counter; }
