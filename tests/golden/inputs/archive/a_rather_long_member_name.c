/* The member with a name longer than 15 characters: it refers to the other object. */
extern int counter;
extern int count_up(int by);

const char greeting[] = "hi";

int use_counter(void) { return count_up(1) + counter + greeting[0]; }
