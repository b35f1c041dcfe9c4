/* A static executable without a dynamic segment. */
void _start(void) { for (;;) {} }
