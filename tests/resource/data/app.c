/* A small Windows console program: the fixture image whose resources the tests replace. */
#include <stdio.h>

static const char greeting[] = "fixture";
int counter = 3;

int main(void) {
    printf("%s %d\n", greeting, counter);
    return 0;
}
