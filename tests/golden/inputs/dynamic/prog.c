/* A small dynamically linked program: it calls into the C library. */
#include <stdio.h>
#include <stdlib.h>
int main(void) {
    const char* home = getenv("HOME");
    printf("%s\n", home ? home : "?");
    return 0;
}
