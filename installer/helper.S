/* The registration helper of the other architecture, as bytes of this
 * program's read-only data: registrationHelper and registrationHelperSize.
 * Not a resource, which the updater replaces with every update. build.sh
 * defines HELPER as the helper's path. */
#if defined(__i386__)
#define NAME(name) _##name
#else
#define NAME(name) name
#endif
#define STRING(x) #x
#define QUOTED(x) STRING(x)

    .section .rdata,"dr"
    .globl NAME(registrationHelper)
    .globl NAME(registrationHelperSize)
    .p2align 4
NAME(registrationHelper):
    .incbin QUOTED(HELPER)
1:
    .p2align 2
NAME(registrationHelperSize):
    .long 1b - NAME(registrationHelper)
