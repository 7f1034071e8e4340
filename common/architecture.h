/* Which way a plugin DLL is registered, decided once for every program that
 * must agree on it: the installer registers by it, the updater warns the
 * author by it, and both say it in the same words. Plain C without Windows
 * headers, as windows_names.c is: the installer builds it with MinGW, the
 * updater links it on every system. Machine types are the PE file header's
 * Machine values. */
#ifndef TAMSEL_ARCHITECTURE_H
#define TAMSEL_ARCHITECTURE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kMachineI386 = 0x14C,
    kMachineAmd64 = 0x8664,
    kMachineArm64 = 0xAA64,
    kMachineArmNt = 0x1C4,
    kMachineIa64 = 0x200
};

typedef enum RegistrationRoute {
    kRouteOwnProcess, /* a child of the installer, of its own architecture */
    kRouteHelper,     /* the registration helper of the other of x86 and x86-64 */
    kRouteRefused
} RegistrationRoute;

typedef enum RouteReason {
    kReasonSameMachine,
    kReasonOtherMachine,    /* the helper's route */
    kReasonNeeds64Bit,      /* an x86-64 plugin on 32-bit Windows, or on a Windows not known yet */
    kReasonNoPeFile,        /* machine type 0: no PE header was found */
    kReasonMachineUnsupported
} RouteReason;

/* What is known of the Windows the plugin is registered on: the updater
 * decides before there is one. */
typedef enum WindowsBits { kWindowsUnknown, kWindows32, kWindows64 } WindowsBits;

typedef struct RouteChoice {
    RegistrationRoute route;
    RouteReason reason;
    unsigned short helperMachine; /* the helper's architecture on kRouteHelper */
    int needs64Bit;               /* the route holds on 64-bit Windows only */
} RouteChoice;

RouteChoice chooseRoute(unsigned short plugin, unsigned short installer, WindowsBits windows);

/* Whether an installer carries a registration helper of this architecture
 * (x86 or x86-64), and the other of the two (0 for any other machine). */
int hasRegistrationHelper(unsigned short machine);
unsigned short otherMachine(unsigned short machine);

/* "x86", "x86-64", "ARM64", "32-bit ARM", "Itanium"; NULL for another type. */
const char* machineTypeName(unsigned short machine);

/* "an x86-64 DLL", "a DLL for machine type 0x1C4" (noun "DLL" or
 * "program"), cut to fit `size` with its NUL. Returns the length. */
size_t describeMachine(unsigned short machine, const char* noun, char* out, size_t size);

/* The reason of a choice in words, the same in every program that says it:
 * "the installer registers it through its x86-64 registration helper, so
 * it needs 64-bit Windows", "it needs 64-bit Windows", ... Cut to fit `size`
 * with its NUL. Returns the length. */
size_t describeRoute(RouteChoice choice, char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif
