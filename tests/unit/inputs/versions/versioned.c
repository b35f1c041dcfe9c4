/* A shared library with versioned symbols: two versions of one function, data in each version, and a
   reference to the C library. */
#include <stdio.h>

int counter_v1 = 1;
int counter_v2 = 2;

int old_api(int x) { return x + 1; }
int new_api(int x) { return x + 2; }
__asm__(".symver old_api, api@VERS_1");
__asm__(".symver new_api, api@@VERS_2");

int report(void) { return puts("versioned"); }
