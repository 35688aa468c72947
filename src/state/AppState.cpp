#include "state/AppState.h"

#include <limits>

namespace fixcaster {

std::vector<std::string> NumberItems(int first, int last) {
  std::vector<std::string> items;
  for (int i = first; i <= last; ++i) items.push_back(std::to_string(i));
  return items;
}

AppState::AppState() : MagVariation(std::numeric_limits<double>::quiet_NaN()) {
  ComboBoxHz.Items = {"0.1", "0.2", "0.5", "1", "1.5", "2",  "3",  "4",
                      "5",   "6",   "7",   "8", "9",   "10", "15", "20"};
  ComboBoxNMEA.Items = {"2.1", "2.3", "4.1"};
  ComboBoxNMEA.Text = "2.3";
  ComboBoxNavSt.Items = {"S: Safe", "C: Caution", "U: Unsafe", "V: Not valid"};
  ComboBoxNavSt.Text = "V";

  for (int s = 0; s < SentenceCount; ++s) {
    ComboBoxInterval[s].Items = NumberItems(1, 10);
    ComboBoxInterval[s].Text = (s == sGSA || s == sGSV) ? "3" : "1";
  }
  CheckBoxSentence[sGGA].Checked = true;
  CheckBoxSentence[sRMC].Checked = true;
  CheckBoxSentence[sGSA].Checked = true;
  CheckBoxSentence[sGSV].Checked = true;

  ComboBoxStatus.Items = {"Invalid",    "GPS fix (SPS)",       "DGPS fix",
                          "PPS fix ",   "Real Time Kinematic", "Float RTK",
                          "Estimated ", "Manual input mode",   "Simulation mode"};
  ComboBoxStatus.ItemIndex = 1;
  ComboBoxStatus.Text = ComboBoxStatus.Items[1];
  ComboBoxRMCst.Items = {
      "Same as GGA",         "No fix",    "Autonomous", "Differential", "Precise",
      "Real time kinematic", "Float RTK", "Estimated",  "Manual input", "Simulator"};
  ComboBoxRMCst.ItemIndex = 0;
  ComboBoxRMCst.Text = ComboBoxRMCst.Items[0];
  UpdateFixIndicators(ComboBoxStatus.ItemIndex, ComboBoxRMCst.ItemIndex, Fix);
  ComboBoxDegDec.Items = NumberItems(1, 8);
  ComboBoxDegDec.ItemIndex = 5;
  ComboBoxDegDec.Text = "6";
  ComboBoxTimeDec.Items = NumberItems(0, 3);
  ComboBoxTimeDec.Text = "0";
  for (int g = -50; g <= 50; g += 10) ComboBoxGeoid.Items.push_back(std::to_string(g));

  ComboBoxBaud.Items = {"300",   "600",   "1200",  "2400",   "4800",   "9600",
                        "19200", "38400", "57600", "115200", "230400", "460800"};
  ComboBoxBaud.Text = "4800";
  ComboBoxPort.Items = {"TCP"};
  EditTCPport.Text = "5555";
  EditTCPport.Visible = false;
}

}  // namespace fixcaster
