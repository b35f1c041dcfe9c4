/* A small translation unit with the usual kinds of symbols. */
int counter = 1;              /* initialised data */
static int hidden;            /* local bss */
const char greeting[] = "hi"; /* read-only data */
int common_block[4];          /* common or bss, depending on the compiler */
extern int external_value;    /* undefined */
__attribute__((weak)) int weak_hook(void) { return 0; }
static int helper(int x) { return x + hidden; }
int main(void) { return helper(counter + external_value) + weak_hook() + greeting[0] + common_block[1]; }
