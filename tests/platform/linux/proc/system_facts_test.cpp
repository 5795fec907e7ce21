// Memory, power, processor and uptime facts: against the real machine's own
// tools, and against fixture trees for the power supplies a machine may have.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/proc/system_facts.hpp"
#include "processes/processes.hpp"

namespace tarrow {
namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) out.append(buffer, n);
    return out;
}

std::string Trim(std::string s) {
    s.erase(0, s.find_first_not_of(" \t\r\n"));
    s.erase(s.find_last_not_of(" \t\r\n") + 1);
    return s;
}

// A temporary folder standing in for /proc or /sys; removed afterwards.
class Tree {
public:
    Tree() {
        char pattern[] = "/tmp/tarrow-facts-XXXXXX";
        root_ = mkdtemp(pattern) ? pattern : "";
    }
    ~Tree() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const std::string& root() const { return root_; }
    void Write(const std::string& relative, const std::string& text) const {
        const fs::path path = fs::path(root_) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    void Supply(const std::string& name, const std::map<std::string, std::string>& attributes) {
        for (const auto& [key, value] : attributes)
            Write("class/power_supply/" + name + "/" + key, value + "\n");
    }

private:
    std::string root_;
};

TEST(MachineFacts, TotalAndUsedMemoryAgreeWithFree) {
    LinuxPlatform platform;
    const MemoryStatus status = platform.GetMemoryStatus();
    std::istringstream free(Output("LC_ALL=C free -b"));
    std::string line, label;
    double total = 0, used = 0, ignored = 0, available = 0;
    while (std::getline(free, line)) {
        if (line.rfind("Mem:", 0) != 0) continue;
        std::istringstream fields(line);
        fields >> label >> total >> used >> ignored >> ignored >> ignored >> available;
    }
    ASSERT_GT(total, 0) << "free -b gave nothing";
    EXPECT_NEAR(double(status.totalPhys), total, total * 0.02);
    EXPECT_NEAR(double(status.totalPhys - status.availPhys), total - available, total * 0.02);
}

TEST(MachineFacts, CoreCountAgreesWithNproc) {
    LinuxPlatform platform;
    const int64_t expected = std::stoll("0" + Trim(Output("nproc --all")));
    ASSERT_GT(expected, 0);
    EXPECT_EQ(ProcessorCount(platform), expected);
}

TEST(MachineFacts, BrandAgreesWithLscpu) {
    LinuxPlatform platform;
    std::istringstream lscpu(Output("LC_ALL=C lscpu"));
    std::string line, expected;
    while (std::getline(lscpu, line)) {
        if (line.rfind("Model name:", 0) == 0) {
            expected = Trim(line.substr(11));
            break;
        }
    }
    if (expected.empty()) GTEST_SKIP() << "lscpu names no model on this machine";
    const auto brand = platform.ProcessorBrand();
    ASSERT_TRUE(brand.has_value());
    EXPECT_EQ(Trim(*brand), expected);
}

TEST(MachineFacts, UptimeAgreesWithProcUptime) {
    LinuxPlatform platform;
    std::ifstream in("/proc/uptime");
    double seconds = 0;
    in >> seconds;
    const double ms = double(platform.SystemUptimeMs());
    EXPECT_NEAR(ms, seconds * 1000, 2000);
    EXPECT_EQ(platform.TickCount(), static_cast<uint32_t>(platform.SystemUptimeMs()));
}

TEST(FixtureFacts, MemoryFromMeminfoInBytes) {
    Tree proc;
    LinuxPlatform platform(SystemRoots{proc.root(), proc.root()});
    EXPECT_EQ(platform.GetMemoryStatus().totalPhys, 0u);  // no meminfo at all
    proc.Write("meminfo",
               "MemTotal:       16318332 kB\nMemFree:         1000000 kB\n"
               "MemAvailable:    8159166 kB\nBuffers:          123456 kB\n");
    const MemoryStatus status = platform.GetMemoryStatus();
    EXPECT_EQ(status.totalPhys, 16318332ull * 1024);
    EXPECT_EQ(status.availPhys, 8159166ull * 1024);
    proc.Write("meminfo", "MemTotal:       2048 kB\nMemFree:         1024 kB\n");
    EXPECT_EQ(ReadMemoryStatus(proc.root()).availPhys, 1024u * 1024);
}

TEST(FixtureFacts, NoPowerSuppliesMeansNoBatteryAndNoLineReading) {
    Tree sys;
    LinuxPlatform platform(SystemRoots{sys.root(), sys.root()});
    EXPECT_EQ(platform.GetPowerStatus().batteryLifePercent, 255);
    EXPECT_EQ(platform.GetPowerStatus().acLineStatus, 255);
    fs::create_directories(sys.root() + "/class/power_supply");
    EXPECT_EQ(platform.GetPowerStatus().batteryLifePercent, 255);
    EXPECT_EQ(platform.GetPowerStatus().acLineStatus, 255);
}

TEST(FixtureFacts, OneBatteryChargingOnMains) {
    Tree sys;
    sys.Supply("AC", {{"type", "Mains"}, {"online", "1"}});
    sys.Supply("BAT0", {{"type", "Battery"}, {"status", "Charging"}, {"present", "1"},
                        {"energy_now", "42000000"}, {"energy_full", "50000000"},
                        {"capacity", "80"}});
    LinuxPlatform platform(SystemRoots{sys.root(), sys.root()});
    const PowerStatus status = platform.GetPowerStatus();
    EXPECT_EQ(status.batteryLifePercent, 84);  // energy beats the rounded capacity
    EXPECT_EQ(status.acLineStatus, 1);
}

TEST(FixtureFacts, TwoBatteriesCountAsTheirCombinedCharge) {
    Tree sys;
    sys.Supply("ACAD", {{"type", "Mains"}, {"online", "0"}});
    sys.Supply("BAT0", {{"type", "Battery"}, {"energy_now", "30000000"}, {"energy_full", "50000000"}});
    sys.Supply("BAT1", {{"type", "Battery"}, {"energy_now", "10000000"}, {"energy_full", "30000000"}});
    EXPECT_EQ(ReadPowerStatus(sys.root()).batteryLifePercent, 50);  // 40 of 80, not (60+33)/2
    EXPECT_EQ(ReadPowerStatus(sys.root()).acLineStatus, 0);

    // Charge counters combine the same way; with mixed counters, the mean.
    Tree charge;
    charge.Supply("BAT0", {{"type", "Battery"}, {"charge_now", "1000"}, {"charge_full", "4000"}});
    charge.Supply("BAT1", {{"type", "Battery"}, {"charge_now", "3000"}, {"charge_full", "4000"}});
    EXPECT_EQ(ReadPowerStatus(charge.root()).batteryLifePercent, 50);
    charge.Supply("BAT2", {{"type", "Battery"}, {"capacity", "20"}});
    EXPECT_EQ(ReadPowerStatus(charge.root()).batteryLifePercent, 40);  // (25 + 75 + 20) / 3
    EXPECT_EQ(ReadPowerStatus(charge.root()).acLineStatus, 255);
}

TEST(FixtureFacts, MainsOnlyOrUsbPowerWithoutBattery) {
    Tree sys;
    sys.Supply("AC", {{"type", "Mains"}, {"online", "1"}});
    EXPECT_EQ(ReadPowerStatus(sys.root()).batteryLifePercent, 255);
    EXPECT_EQ(ReadPowerStatus(sys.root()).acLineStatus, 1);
    Tree usb;
    usb.Supply("ucsi-source-psy-1", {{"type", "USB"}, {"online", "0"}});
    usb.Supply("ucsi-source-psy-2", {{"type", "USB"}, {"online", "1"}});
    EXPECT_EQ(ReadPowerStatus(usb.root()).acLineStatus, 1);
}

TEST(FixtureFacts, WithoutMainsTheBatteryStatusGivesTheLine) {
    const std::pair<std::string, uint8_t> cases[] = {
        {"Charging", 1}, {"Full", 1}, {"Not charging", 1}, {"Discharging", 0}, {"Unknown", 255},
    };
    for (const auto& [state, line] : cases) {
        Tree sys;
        sys.Supply("BAT0", {{"type", "Battery"}, {"status", state}, {"capacity", "64"}});
        const PowerStatus status = ReadPowerStatus(sys.root());
        EXPECT_EQ(status.acLineStatus, line) << state;
        EXPECT_EQ(status.batteryLifePercent, 64) << state;
        // A listed mains supply has the last word, whatever the battery says.
        sys.Supply("AC", {{"type", "Mains"}, {"online", line == 1 ? "0" : "1"}});
        EXPECT_EQ(ReadPowerStatus(sys.root()).acLineStatus, line == 1 ? 0 : 1) << state;
    }
    Tree two;  // one battery running down is enough to be off line
    two.Supply("BAT0", {{"type", "Battery"}, {"status", "Full"}, {"capacity", "100"}});
    two.Supply("BAT1", {{"type", "Battery"}, {"status", "Discharging"}, {"capacity", "50"}});
    EXPECT_EQ(ReadPowerStatus(two.root()).acLineStatus, 0);
}

TEST(FixtureFacts, DeviceBatteriesAndAbsentBatteriesAreNotTheMachines) {
    Tree sys;
    sys.Supply("hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "5"}});
    sys.Supply("BAT1", {{"type", "Battery"}, {"present", "0"}, {"capacity", "0"}});
    EXPECT_EQ(ReadPowerStatus(sys.root()).batteryLifePercent, 255);
    sys.Supply("BAT0", {{"type", "Battery"}, {"capacity", "97"}});
    EXPECT_EQ(ReadPowerStatus(sys.root()).batteryLifePercent, 97);
    // A counter past its full value still reads 100.
    Tree odd;
    odd.Supply("BAT0", {{"type", "Battery"}, {"energy_now", "60"}, {"energy_full", "50"}});
    EXPECT_EQ(ReadPowerStatus(odd.root()).batteryLifePercent, 100);
}

TEST(FixtureFacts, ModelNameFromCpuinfo) {
    Tree proc;
    EXPECT_FALSE(CpuinfoModelName(proc.root()).has_value());
    proc.Write("cpuinfo",
               "processor\t: 0\nvendor_id\t: GenuineIntel\n"
               "model name\t:   Intel(R) Xeon(R) CPU @ 2.20GHz\nflags\t\t: fpu\n\n"
               "processor\t: 1\nmodel name\t: other\n");
    EXPECT_EQ(CpuinfoModelName(proc.root()), "  Intel(R) Xeon(R) CPU @ 2.20GHz");
    proc.Write("cpuinfo", "processor\t: 0\nBogoMIPS\t: 48.00\n");
    EXPECT_FALSE(CpuinfoModelName(proc.root()).has_value());
}

}  // namespace
}  // namespace tarrow
