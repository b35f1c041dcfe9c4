/* A small shared library: exported code and data, an undefined reference. */
int exported = 3;
int api(int x) { return x + exported; }
extern int undefined_ref(void);
int calls(void) { return undefined_ref(); }
