/* A program for the benchmark's entries to start; it is never run. */
int main(void) { return 0; }
