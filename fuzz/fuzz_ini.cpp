// libFuzzer target: the ini reader, its writer and the settings loader on any bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "state/AppState.h"

using namespace fixcaster;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IniFile ini;
  ini.Parse(bytes);

  // What we write must read back as the same profile: writing it again gives the
  // same bytes.
  const std::string image = ini.Serialize();
  IniFile again;
  again.Parse(image);
  if (again.Serialize() != image) std::abort();

  // Every lookup path on whatever keys the input named.
  ini.ForEachKey("Option", [&](std::string_view key, std::string_view value) {
    if (ini.ReadString("Option", key, "") != value) std::abort();
    (void)ini.ReadInteger("Option", key, 0);
    (void)ini.ReadBool("Option", key, false);
  });

  // The settings loader over the profile, with the hooks the core fills itself.
  AppState state;
  InitSettingsGlobals(state);
  state.SettingsPath = "/nonexistent/fixcaster.ini";
  SettingsWindow window;
  ApplySettings(state, ini, window, CoreSettingsHooks());
  if (state.StringGrid1.TrackMax() < TrackMaxMinimum ||
      state.StringGrid1.TrackMax() > TrackMaxLimit)
    std::abort();
  if (state.ComboBoxDegDec.Text.size() != 1 || state.ComboBoxTimeDec.Text.size() != 1) std::abort();
  if (state.SpeedUnit > 2) std::abort();
  return 0;
}
