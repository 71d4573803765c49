// Starts and exits at once: what merely starting a program costs under Wine.
int main() { return 0; }
