/* The start-up floor: a C program that only returns. */
int main(void) { return 0; }
