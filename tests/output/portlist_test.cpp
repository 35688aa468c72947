#include "output/PortList.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "output/CommX.h"
#include "output/channel_support.h"

namespace fixcaster {
namespace {

using testing::FakeSysfs;
using testing::PtyPair;

class PortListTest : public ::testing::Test {
 protected:
  PortDiscovery Where() const {
    return PortDiscovery{tree.Sys().string(), tree.Dev().string(), tree.Udev().string()};
  }
  // A device node backed by a real pty of its own.
  std::string Node() {
    ptys.push_back(std::make_unique<PtyPair>());
    return ptys.back()->Path();
  }
  std::string Line(const std::string& name, const std::string& friendly = "") const {
    return tree.DevPath(name) + (friendly.empty() ? "" : "  " + friendly);
  }
  FakeSysfs tree;
  std::vector<std::unique_ptr<PtyPair>> ptys;
};

TEST_F(PortListTest, ListsOpenablePortsInNaturalOrderWithNames) {
  tree.Add({.name = "ttyUSB10", .node = Node()});
  tree.Add(
      {.name = "ttyUSB2", .product = "FT232R USB UART", .manufacturer = "FTDI", .node = Node()});
  tree.Add({.name = "ttyS0", .type = "4", .node = Node()});
  tree.Add({.name = "ttyS1", .type = "0", .node = Node()});  // no UART behind it
  tree.Add({.name = "ttyS2", .node = Node()});               // no type reported
  tree.Add({.name = "ttyACM0", .udevModel = "CDC Modem", .node = Node()});
  tree.Add({.name = "tty1", .device = false, .node = Node()});  // a console, no device
  tree.Add({.name = "ttyUSB3"});                                // listed, but no node
  tree.Add({.name = "rfcomm0", .device = false});               // Bluetooth: not probed
  std::vector<std::string> expected = {
      Line("rfcomm0", "Bluetooth serial port"),
      Line("ttyACM0", "CDC Modem"),
      Line("ttyS0"),
      Line("ttyUSB2", "FTDI FT232R USB UART"),
      Line("ttyUSB10"),
  };
  bool ok = false;
  EXPECT_EQ(BuildPortLines(Where(), &ok), expected);
  EXPECT_TRUE(ok);
  std::string text;
  EXPECT_TRUE(BuildPortList(Where(), text));
  std::string joined;
  for (const std::string& line : expected) joined += line + "\r\n";
  EXPECT_EQ(text, joined);
}

TEST_F(PortListTest, PortHeldOpenIsMissingUntilClosed) {
  tree.Add({.name = "ttyUSB0", .node = Node()});
  tree.Add({.name = "ttyUSB1", .node = Node()});
  TCommX comm;
  comm.SetPortName(tree.DevPath("ttyUSB0"));
  comm.SetFlowCtrl(cfcNone);
  comm.PortOpen();
  EXPECT_EQ(BuildPortLines(Where()), std::vector<std::string>{Line("ttyUSB1")});
  EXPECT_FALSE(ProbeComPort(tree.DevPath("ttyUSB0")));
  comm.PortClose();
  EXPECT_TRUE(ProbeComPort(tree.DevPath("ttyUSB0")));
  EXPECT_EQ(BuildPortLines(Where()).size(), 2u);
}

TEST_F(PortListTest, AtMostNinetyNineLines) {
  std::string node = Node();  // one pty serves them all; each probe closes it again
  for (int i = 0; i < 120; ++i) tree.Add({.name = "ttyUSB" + std::to_string(i), .node = node});
  std::vector<std::string> lines = BuildPortLines(Where());
  ASSERT_EQ(lines.size(), 99u);
  EXPECT_EQ(lines.front(), Line("ttyUSB0"));
  EXPECT_EQ(lines.back(), Line("ttyUSB98"));
}

TEST_F(PortListTest, UnreadableSystemListGivesNothing) {
  PortDiscovery nowhere{(tree.Sys() / "missing").string(), tree.Dev().string(), ""};
  std::string text = "stale";
  EXPECT_FALSE(BuildPortList(nowhere, text));
  EXPECT_EQ(text, "");
}

TEST_F(PortListTest, NamedLinesKeepTheirNameAndBluetoothLinesStay) {
  tree.Add({.name = "ttyUSB0", .product = "Second name", .node = Node()});
  std::vector<std::string> lines = {Line("ttyUSB0", "First name"), Line("ttyUSB7"),
                                    Line("ttyUSB8", "Bluetooth link")};
  AddFriendlyNames(lines, Where());
  EXPECT_EQ(lines[0], Line("ttyUSB0", "First name"));
  DropUnopenablePorts(lines);
  // ttyUSB7 has no node and goes; the Bluetooth line stays without a probe.
  EXPECT_EQ(lines, (std::vector<std::string>{Line("ttyUSB0", "First name"),
                                             Line("ttyUSB8", "Bluetooth link")}));
  EXPECT_EQ(PortLineDevice(Line("ttyUSB0", "First name")), tree.DevPath("ttyUSB0"));
}

}  // namespace
}  // namespace fixcaster
