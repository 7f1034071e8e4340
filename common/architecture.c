#include "architecture.h"

#include <stdio.h>

int hasRegistrationHelper(unsigned short machine) {
    return machine == kMachineI386 || machine == kMachineAmd64;
}

unsigned short otherMachine(unsigned short machine) {
    return machine == kMachineI386 ? kMachineAmd64 : machine == kMachineAmd64 ? kMachineI386 : 0;
}

RouteChoice chooseRoute(unsigned short plugin, unsigned short installer, WindowsBits windows) {
    RouteChoice choice = {kRouteRefused, kReasonMachineUnsupported, 0, 0};
    if (plugin == 0) {
        choice.reason = kReasonNoPeFile;
    } else if (plugin == installer) {
        choice.route = kRouteOwnProcess;
        choice.reason = kReasonSameMachine;
    } else if (hasRegistrationHelper(plugin) && otherMachine(plugin) == installer) {
        /* Only 64-bit Windows runs both; an x86 installer on 32-bit Windows
         * has no x86-64 to offer. */
        choice.needs64Bit = plugin == kMachineAmd64;
        if (choice.needs64Bit && windows == kWindows32) {
            choice.reason = kReasonNeeds64Bit;
        } else {
            choice.route = kRouteHelper;
            choice.reason = kReasonOtherMachine;
            choice.helperMachine = plugin;
        }
    }
    return choice;
}

const char* machineTypeName(unsigned short machine) {
    switch (machine) {
        case kMachineI386: return "x86";
        case kMachineAmd64: return "x86-64";
        case kMachineArm64: return "ARM64";
        case kMachineArmNt: return "32-bit ARM";
        case kMachineIa64: return "Itanium";
        default: return NULL;
    }
}

static size_t written(int length, size_t size) {
    if (length < 0 || size == 0) return 0;
    return (size_t)length < size ? (size_t)length : size - 1;
}

size_t describeMachine(unsigned short machine, const char* noun, char* out, size_t size) {
    const char* name = machineTypeName(machine);
    if (name == NULL)
        return written(snprintf(out, size, "a %s for machine type 0x%X", noun, machine), size);
    /* "an" before a vowel's sound: x86 ("ex"), ARM64, Itanium. */
    return written(snprintf(out, size, "%s %s %s", name[0] == '3' ? "a" : "an", name, noun),
                   size);
}

size_t describeRoute(RouteChoice choice, char* out, size_t size) {
    switch (choice.reason) {
        case kReasonSameMachine:
            return written(snprintf(out, size, "the installer registers it in a process of its own"),
                           size);
        case kReasonOtherMachine:
            return written(snprintf(out, size,
                                    "the installer registers it through its %s registration "
                                    "helper%s",
                                    machineTypeName(choice.helperMachine),
                                    choice.needs64Bit ? ", so it needs 64-bit Windows" : ""),
                           size);
        case kReasonNeeds64Bit:
            return written(snprintf(out, size, "it needs 64-bit Windows"), size);
        case kReasonNoPeFile:
            return written(snprintf(out, size, "it has no PE header"), size);
        case kReasonMachineUnsupported:
        default:
            return written(snprintf(out, size,
                                    "the installer registers 32-bit and 64-bit DLLs for Intel "
                                    "and AMD processors only"),
                           size);
    }
}
