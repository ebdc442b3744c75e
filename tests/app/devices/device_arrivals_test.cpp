// Devices plugged in and taken away: which are new, which went away, when the
// ports are looked at, what the source field offers, and the runner's wait.

#include "app/devices/device_arrivals.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app/cards/media_arrivals.h"
#include "app/devices/source_entries.h"
#include "platform/device_source.h"
#include "platform/gphoto_link.h"
#include "platform/posix_file_system.h"
#include "support/fake_device_ports.h"
#include "support/fake_drives.h"
#include "support/fake_port.h"
#include "support/library_leaks.h"
#include "support/temp_dir.h"


namespace ravlen {
namespace {

using Clock = DeviceArrivals::Clock;
const DeviceInfo kCanonA{"Canon EOS R6", "usb:001,004"}, kCanonB{"Canon EOS R6", "usb:001,007"},
    kPhone{"Google Pixel 8", "usb:002,003"};

std::vector<std::string> Named(const std::vector<DeviceInfo>& devices) {
    std::vector<std::string> names;
    for (const DeviceInfo& d : devices) names.push_back(d.Model + "@" + d.Port);
    return names;
}

struct Arrivals : ::testing::Test {
    test::FakeDevicePorts ports;
    DeviceArrivals arrivals;
    Clock::time_point now = Clock::now();
    DeviceArrivals::Change Look() {
        now += DeviceArrivals::kLookInterval;
        return arrivals.LookNow(ports, now);
    }
};

// What is there at the first look counts as there before; a port new since is
// asked only once a second look still sees it, and never again after; a device
// taken away goes at the next look; a port of no camera is asked once.
TEST_F(Arrivals, NewDevicesSettleBeforeTheyArriveAndGoAtOnce) {
    ports.Set({{kPhone.Port, {kPhone}}, {"usb:003,002", {}}});
    EXPECT_FALSE(Look().Any());
    EXPECT_EQ(Named(arrivals.Present()), (std::vector<std::string>{"Google Pixel 8@usb:002,003"}));

    ports.Set({{kPhone.Port, {kPhone}}, {"usb:003,002", {}}, {kCanonA.Port, {kCanonA}}});
    EXPECT_FALSE(Look().Any());  // just plugged in: not asked yet
    EXPECT_EQ(ports.Asked().count(kCanonA.Port), 0u);
    const DeviceArrivals::Change settled = Look();
    EXPECT_EQ(Named(settled.arrived), (std::vector<std::string>{"Canon EOS R6@usb:001,004"}));
    EXPECT_EQ(Named(arrivals.Present()),
              (std::vector<std::string>{"Canon EOS R6@usb:001,004", "Google Pixel 8@usb:002,003"}));
    EXPECT_FALSE(Look().Any());
    EXPECT_EQ(ports.Asked(), (std::map<std::string, int>{{kCanonA.Port, 1}, {kPhone.Port, 1}, {"usb:003,002", 1}}));

    // A port seen by one look only (a phone switching its USB mode) is never asked.
    ports.Set({{kCanonA.Port, {kCanonA}}, {"usb:003,002", {}}, {"usb:002,009", {kPhone}}});
    const DeviceArrivals::Change unplugged = Look();
    EXPECT_EQ(Named(unplugged.gone), (std::vector<std::string>{"Google Pixel 8@usb:002,003"}));
    EXPECT_TRUE(unplugged.arrived.empty());
    ports.Set({{kCanonA.Port, {kCanonA}}, {"usb:003,002", {}}});
    EXPECT_FALSE(Look().Any());
    EXPECT_EQ(ports.Asked().count("usb:002,009"), 0u);

    // Ports that cannot be listed change nothing.
    ports.Fail(true);
    EXPECT_FALSE(Look().Any());
    EXPECT_EQ(Named(arrivals.Present()), (std::vector<std::string>{"Canon EOS R6@usb:001,004"}));
}

// Two cameras of one model are two devices, each with its port, in the list
// and in the field; the field shows a device by its entry and keeps the path
// it stands for; a device no longer there shows as its path.
TEST(SourceEntries, ShowDevicesByEntryAndTellTwinsApartByPort) {
    SourceEntries entries;
    entries.SetCards({{"/media/u/CANON_DC", "CANON_DC", true, true}});
    entries.SetDevices({kCanonA, kPhone, kCanonB});
    const std::vector<SourceEntry> listed = entries.Entries();
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].Text, "/media/u/CANON_DC");
    EXPECT_EQ(listed[0].SourcePath, "/media/u/CANON_DC");
    EXPECT_EQ(listed[1].Text, "Canon EOS R6 (USB 001,004)");
    EXPECT_EQ(listed[1].SourcePath, "camera:Canon EOS R6@usb:001,004");
    EXPECT_EQ(listed[2].Text, "Google Pixel 8 (USB)");
    EXPECT_EQ(listed[3].Text, "Canon EOS R6 (USB 001,007)");
    EXPECT_EQ(entries.Shown("camera:Canon EOS R6@usb:001,007"), "Canon EOS R6 (USB 001,007)");
    EXPECT_EQ(entries.SourcePathOf("Canon EOS R6 (USB 001,007)"), "camera:Canon EOS R6@usb:001,007");
    EXPECT_EQ(entries.SourcePathOf("/home/u/Pictures"), "/home/u/Pictures");

    entries.SetDevices({kPhone});
    EXPECT_EQ(entries.Shown("camera:Canon EOS R6@usb:001,007"), "camera:Canon EOS R6@usb:001,007");
    EXPECT_EQ(entries.Shown("/media/u/CANON_DC"), "/media/u/CANON_DC");

    RunOptions options;
    options.ProcessSubfolders = ProcessSubfolders::Ignore;
    ChooseSource(entries.Entries().back(), options);
    EXPECT_EQ(options.SourcePath, "camera:Google Pixel 8@usb:002,003");
    EXPECT_EQ(options.ProcessSubfolders, ProcessSubfolders::Flatten);
}

// No look while held or under way, nor before the interval; what arrived
// while held is offered after the last release, unless it went again.
TEST_F(Arrivals, LooksAndOffersWaitWhileHeld) {
    ports.Set({});
    EXPECT_TRUE(arrivals.Due(now));
    const DeviceArrivals::Request first = arrivals.Begin(now);
    EXPECT_FALSE(arrivals.Due(now + std::chrono::hours(1)));  // under way
    arrivals.Take(DeviceArrivals::Perform(ports, first));
    EXPECT_FALSE(arrivals.Due(now + DeviceArrivals::kLookInterval - std::chrono::milliseconds(1)));
    EXPECT_TRUE(arrivals.Due(now + DeviceArrivals::kLookInterval));

    ports.Set({{kCanonA.Port, {kCanonA}}, {kPhone.Port, {kPhone}}});
    Look();
    // The second look began before a run took hold, and ends during it.
    const DeviceArrivals::Request during = arrivals.Begin(now += DeviceArrivals::kLookInterval);
    arrivals.Hold();
    arrivals.Hold();
    EXPECT_FALSE(arrivals.Due(now + std::chrono::hours(1)));
    EXPECT_EQ(arrivals.Take(DeviceArrivals::Perform(ports, during)).arrived.size(), 2u);
    EXPECT_TRUE(arrivals.TakeOffers().empty());
    arrivals.Release();
    EXPECT_TRUE(arrivals.TakeOffers().empty());
    EXPECT_FALSE(arrivals.Due(now + std::chrono::hours(1)));
    arrivals.Release();
    EXPECT_TRUE(arrivals.Due(now + DeviceArrivals::kLookInterval));
    ports.Set({{kPhone.Port, {kPhone}}});
    Look();  // the camera went before it could be offered
    EXPECT_EQ(Named(arrivals.TakeOffers()), (std::vector<std::string>{"Google Pixel 8@usb:002,003"}));
    EXPECT_TRUE(arrivals.TakeOffers().empty());

    // A look that began before the last one taken is old news.
    ports.Set({{kPhone.Port, {kPhone}}, {kCanonB.Port, {kCanonB}}});
    Look();
    const DeviceArrivals::Request old = arrivals.Begin(now += DeviceArrivals::kLookInterval);
    const DeviceArrivals::Look stale = DeviceArrivals::Perform(ports, old);
    ports.Set({});
    Look();
    EXPECT_FALSE(arrivals.Take(stale).Any());
    EXPECT_TRUE(arrivals.Present().empty());
}

// A device plugged in is offered with a question, as a card is; one that is
// the source already is passed over for the next.
TEST(SourceEntries, ArrivedDeviceIsOfferedAsACardIs) {
    test::FakePort port;
    RunOptions options;
    options.SourcePath = "camera:Canon EOS R6@usb:001,004";
    port.answers = {MsgAnswer::No};
    EXPECT_FALSE(OfferArrivedDevice(true, {kCanonA, kPhone}, options, port));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_NE(port.messages[0].text.find("found a camera or phone on the USB port:\r\n\r\n\tGoogle Pixel 8 (USB)  "
                                         "(usb:002,003)\r\n\r\nSet Source Folder to this device?"),
              std::string::npos);
    EXPECT_EQ(options.SourcePath, "camera:Canon EOS R6@usb:001,004");
    port.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(OfferArrivedDevice(true, {kPhone}, options, port));
    EXPECT_EQ(options.SourcePath, "camera:Google Pixel 8@usb:002,003");
    EXPECT_EQ(options.ProcessSubfolders, ProcessSubfolders::Flatten);
    EXPECT_FALSE(OfferArrivedDevice(true, {kPhone}, options, port));
    EXPECT_EQ(port.messages.size(), 2u);
}

// The runner's wait: the device on the ports at the start is not taken, the
// one plugged in later is, once settled, without a question; a card mounted
// first still wins; Ctrl+C ends the wait with the options as they were.
TEST(DeviceWait, TakesADevicePluggedInAfterTheStart) {
    test::FakeDrives table;
    MediaArrivals cards(table);
    test::FakeDevicePorts ports;
    ports.Set({{kPhone.Port, {kPhone}}});
    DeviceArrivals devices;
    Clock::time_point now = Clock::now();
    const auto clock = [&now] { return now; };
    PosixFileSystem fs;
    test::FakePort port;
    int wakes = 0;
    const auto wake = [&] {
        now += std::chrono::milliseconds(200);
        if (++wakes == 20) ports.Set({{kPhone.Port, {kPhone}}, {kCanonA.Port, {kCanonA}}});
        return wakes > 100 ? WaitWake::Stop : WaitWake::TimePassed;
    };
    RunOptions options;
    options.SourcePath = "camera:Canon EOS R6@usb:001,004";  // the source last time is still taken
    ASSERT_TRUE(WaitForCardOrDevice(wake, cards, {devices, ports, clock}, options, fs, port));
    EXPECT_EQ(options.SourcePath, "camera:Canon EOS R6@usb:001,004");
    EXPECT_EQ(options.ProcessSubfolders, ProcessSubfolders::Flatten);
    EXPECT_GT(wakes, 20);
    EXPECT_LE(wakes, 40);  // two looks after it came
    EXPECT_TRUE(port.messages.empty());

    test::TempDir t;
    t.Write("card/DCIM/100CANON/IMG_0001.JPG", "x");
    wakes = 0;
    const auto mount = [&] {
        now += std::chrono::milliseconds(200);
        if (++wakes < 3) return WaitWake::TimePassed;
        table.drives = {{t / "card", "", true, true}};
        return WaitWake::MountsChanged;
    };
    DeviceArrivals again;
    ASSERT_TRUE(WaitForCardOrDevice(mount, cards, {again, ports, clock}, options, fs, port));
    EXPECT_EQ(options.SourcePath, t / "card");

    RunOptions unchanged;
    unchanged.SourcePath = "/home/u/in";
    DeviceArrivals stopped;
    EXPECT_FALSE(WaitForCardOrDevice([] { return WaitWake::Stop; }, cards, {stopped, ports, clock}, unchanged, fs,
                                     port));
    EXPECT_EQ(unchanged.SourcePath, "/home/u/in");
}

// Through libgphoto2: its Directory Browse driver answers a disk: port that
// holds a DCIM folder; the device found opens by the path its entry stands for.
TEST(GphotoDeviceLister, FindsAFolderCameraOnADiskPort) {
    RAVLEN_LIBRARY_LEAKS_OFF;
    test::TempDir dir;
    const std::string port = "disk:" + dir / "card";
    // The USB ports stand in for nothing here: the disk port is given.
    struct DiskPorts : DeviceLister {
        std::shared_ptr<DeviceLister> gphoto = GphotoDeviceLister();
        std::vector<std::string> ports;
        bool Ports(std::vector<std::string>& out, std::string&) override {
            out = ports;
            return true;
        }
        std::vector<DeviceInfo> DevicesOn(const std::string& p) override { return gphoto->DevicesOn(p); }
    } lister;
    DeviceArrivals arrivals;
    Clock::time_point now = Clock::now();
    arrivals.LookNow(lister, now);
    dir.Write("card/DCIM/100TEST/IMG_0001.JPG", "jpeg");
    lister.ports = {port};
    arrivals.LookNow(lister, now += DeviceArrivals::kLookInterval);
    const DeviceArrivals::Change found = arrivals.LookNow(lister, now += DeviceArrivals::kLookInterval);
    if (found.arrived.empty() && lister.gphoto->DevicesOn(port).empty())
        GTEST_SKIP() << "no Directory Browse camlib";
    ASSERT_EQ(found.arrived.size(), 1u);
    EXPECT_EQ(found.arrived[0].Port, port);

    SourceEntries entries;
    entries.SetDevices(arrivals.Present());
    const std::optional<DeviceInfo> chosen = ParseDeviceSourcePath(entries.Entries().at(0).SourcePath);
    ASSERT_TRUE(chosen);
    DeviceStatus status;
    const std::unique_ptr<DeviceLink> link = OpenDevice(*chosen, status);
    ASSERT_TRUE(link) << status.error;
    std::vector<DeviceEntry> files, folders;
    ASSERT_TRUE(link->List("/DCIM/100TEST", files, folders));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].Name, "IMG_0001.JPG");

    // A folder without DCIM holds no camera for libgphoto2.
    EXPECT_TRUE(lister.gphoto->DevicesOn("disk:" + dir.Mkdir("plain")).empty());
    lister.ports.clear();
    EXPECT_EQ(arrivals.LookNow(lister, now += DeviceArrivals::kLookInterval).gone.size(), 1u);
}

// The kernel's USB devices named as libgphoto2 names their ports; the
// folders of their interfaces are no devices.
TEST(GphotoDeviceLister, NamesTheKernelsUsbDevicesAsItsPorts) {
    test::TempDir sys;
    for (const auto& [device, bus, address] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"usb1", "1", "1"}, {"1-4", "1", "4\n"}, {"2-1.3", "2", "113"}})
        sys.Write(device + "/busnum", bus), sys.Write(device + "/devnum", address);
    sys.Write("1-4:1.0/bInterfaceClass", "06");
    std::vector<std::string> ports;
    ASSERT_TRUE(ListKernelUsbPorts(ports, sys / ""));
    EXPECT_EQ(ports, (std::vector<std::string>{"usb:001,001", "usb:001,004", "usb:002,113"}));
    EXPECT_FALSE(ListKernelUsbPorts(ports, sys / "none"));
}

}  // namespace
}  // namespace ravlen
