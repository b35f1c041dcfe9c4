/* Symbols of every kind that the listing tells apart: global and local code, data and
   uninitialised data, read-only data, common, undefined, weak defined and weak undefined. */
int counter = 3;
int zeroed;
__attribute__((common)) int shared_block;
static int hidden_data __attribute__((used)) = 7;
static int hidden_bss __attribute__((used));
const int table[2] = {1, 2};
extern int external(int);
extern int weak_ref(void) __attribute__((weak));

__attribute__((weak)) int weak_fn(void) { return 1; }

static __attribute__((used)) int helper(int x) { return x * 2; }

int main(void) { return external(counter + zeroed + table[1] + shared_block) + (weak_ref ? weak_ref() : 0) + weak_fn(); }
