// Which way a plugin is registered, and the words both the installer and
// the updater say it in: each pair of machine types, on 32- and 64-bit
// Windows and before either is known.
#include <gtest/gtest.h>

#include <string>

#include "common/architecture.h"

namespace {

std::string reasonOf(RouteChoice choice) {
    char words[192];
    return std::string(words, describeRoute(choice, words, sizeof words));
}

TEST(RegistrationRoute, EachPairOfMachinesOnEachWindows) {
    const std::string helper64 =
        "the installer registers it through its x86-64 registration helper, so it needs 64-bit "
        "Windows";
    const std::string unsupported =
        "the installer registers 32-bit and 64-bit DLLs for Intel and AMD processors only";
    struct Row {
        const char* fault;
        unsigned short plugin, installer;
        WindowsBits windows;
        RegistrationRoute route;
        std::string reason;
    };
    const Row rows[] = {
        {"own architecture, x86", kMachineI386, kMachineI386, kWindows32, kRouteOwnProcess,
         "the installer registers it in a process of its own"},
        {"own architecture, x86-64", kMachineAmd64, kMachineAmd64, kWindows64, kRouteOwnProcess,
         "the installer registers it in a process of its own"},
        {"x86-64 plugin, x86 installer, 64-bit Windows", kMachineAmd64, kMachineI386, kWindows64,
         kRouteHelper, helper64},
        {"x86-64 plugin, x86 installer, Windows not known yet", kMachineAmd64, kMachineI386,
         kWindowsUnknown, kRouteHelper, helper64},
        {"x86-64 plugin on 32-bit Windows", kMachineAmd64, kMachineI386, kWindows32,
         kRouteRefused, "it needs 64-bit Windows"},
        {"x86 plugin, x86-64 installer", kMachineI386, kMachineAmd64, kWindows64, kRouteHelper,
         "the installer registers it through its x86 registration helper"},
        {"ARM64 plugin", kMachineArm64, kMachineAmd64, kWindows64, kRouteRefused, unsupported},
        {"unknown machine type", 0x5032, kMachineI386, kWindows64, kRouteRefused, unsupported},
        {"no PE header", 0, kMachineI386, kWindows64, kRouteRefused, "it has no PE header"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        const RouteChoice choice = chooseRoute(row.plugin, row.installer, row.windows);
        EXPECT_EQ(choice.route, row.route);
        EXPECT_EQ(reasonOf(choice), row.reason);
        if (row.route == kRouteHelper) {
            EXPECT_EQ(choice.helperMachine, row.plugin);
        }
    }
}

TEST(RegistrationRoute, MachinesAreDescribedAlike) {
    const std::pair<unsigned short, const char*> rows[] = {
        {kMachineI386, "an x86 DLL"},     {kMachineAmd64, "an x86-64 DLL"},
        {kMachineArm64, "an ARM64 DLL"},  {kMachineArmNt, "a 32-bit ARM DLL"},
        {kMachineIa64, "an Itanium DLL"}, {0x5032, "a DLL for machine type 0x5032"},
    };
    for (const auto& [machine, words] : rows) {
        char out[64];
        EXPECT_EQ(std::string(out, describeMachine(machine, "DLL", out, sizeof out)), words);
    }
    char cut[8];
    EXPECT_EQ(describeMachine(kMachineAmd64, "DLL", cut, sizeof cut), 7u);
    EXPECT_STREQ(cut, "an x86-");
}

}  // namespace
