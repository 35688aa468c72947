#pragma once

#include <span>
#include <string>
#include <vector>

#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "nmea/Sentences.h"

namespace fixcaster {

// The settings of a busy tick: NMEA 4.1, DGPS fix with differential data (or the
// fix of another item of the fix box), magnetic variation, time zone, and the
// satellite summary of preset 4 of `gsa`.
inline SentenceSettings BusyTickSettings(PresetGsaTable& gsa, int fixItem = 2) {
  SentenceSettings settings;
  settings.NmeaVersion = "4.1";
  settings.NavStatus = "S";
  UpdateFixIndicators(fixItem, 0, settings.Fix);
  settings.Satellites = AnalysePreset(gsa, 4);
  settings.DgpsAge[2] = "30";
  settings.DgpsStation[2] = "0137";
  settings.MagVariation = -7.0;
  settings.MagVariationText = "7.0,W";
  settings.ZoneText = "09,00";
  return settings;
}

// The sentences of one busy tick as the output cycle sends them: all seven position
// and motion sentences and the GSA/GSV block of preset 4, each framed with its
// checksum and CR LF.
inline std::vector<std::string> RealisticTickSentences(double utcDays, int fixItem = 2) {
  PresetGsaTable gsa = DefaultPresetGsa();
  const PresetGsvTable gsv = DefaultPresetGsv();
  const SentenceSettings settings = BusyTickSettings(gsa, fixItem);
  const TickFields tick =
      FormatTickFields(utcDays, 35.68040222, 139.76910917, 3.0, 36.7, 16.26, 25.3, 3, 6);
  std::vector<std::string> out;
  auto add = [&](const std::string& sentence) { out.push_back(sentence + "\r\n"); };
  add(BuildRMC("$GP", tick, settings));
  add(BuildGGA("$GP", tick, settings).value_or(""));
  add(BuildGNS("$GN", tick, settings).value_or(""));
  add(BuildGLL("$GP", tick, settings));
  add(BuildVTG("$GP", tick, settings));
  add(BuildZDA("$GP", tick, settings));
  add(BuildHDT("$GP", tick));
  // Preset lines one by one, framed as the send path frames them.
  auto addPreset = [&](std::span<const std::string> lines) {
    for (const std::string& line : lines)
      if (!line.empty()) out.push_back(FramePresetLines(std::span(&line, 1)));
  };
  addPreset(std::span(gsa[4]).subspan(1));
  addPreset(std::span(gsv[4]).subspan(1));
  return out;
}

}  // namespace fixcaster
