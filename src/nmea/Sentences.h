#pragma once

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "nmea/Presets.h"

namespace fixcaster {

// GGA quality digit, GNS/RMC/GLL/VTG mode letter and RMC/GLL status letter, as
// derived from the two status boxes. Empty text where no item selects a value.
struct FixIndicators {
  std::string GgaQuality;
  std::string ModeIndicator;
  std::string FixStatus;
};

// Recomputes the indicators from the selected item of the GGA status box
// (ComboBoxStatus: 0 "Invalid" .. 8 "Simulation mode") and of the RMC status box
// (ComboBoxRMCst: 0 "Same as GGA", 1 "No fix" .. 9 "Simulator"); -1 (or any index
// outside the list) means no item is selected, as when the text was typed over.
// With no GGA item the quality is empty and so are mode and status unless the RMC
// box selects a row of its own; with no RMC item the status becomes empty and the
// mode keeps the text it had, which is why `fix` is updated in place.
void UpdateFixIndicators(int statusItemIndex, int rmcStatusItemIndex, FixIndicators& fix);

// Ordinal text comparison of an NMEA version text ("2.1", "2.3", "4.1") with a
// reference version, as the version box's text is compared everywhere.
bool VersionAtLeast(std::string_view version, std::string_view reference);
// GNS exists from 2.3 on; the navigational-status field from 4.1 on.
bool GnsAvailable(std::string_view version);
bool NavStatusAvailable(std::string_view version);

// The field texts of one tick, formatted once and shared by every sentence.
struct TickFields {
  double UtcDateTime = std::numeric_limits<double>::quiet_NaN();  // days since 1899-12-30
  std::string Time;        // FormatUtc(utc, "hhnnss", time decimals)
  std::string Date;        // FormatUtc(utc, "DDMMYY", 0)
  std::string Latitude;    // FormatLatLon(lat, 4)
  std::string NorthSouth;  // HemiNS(lat)
  std::string Longitude;   // FormatLatLon(lon, 5)
  std::string EastWest;    // HemiEW(lon)
  std::string Altitude;    // "%3.1f" of the altitude in metres
  std::string Geoid;       // "%3.1f" of the geoid separation
  std::string SpeedText;   // "%3.1f" of the speed in knots (RMC)
  std::string CourseText;  // "%3.1f" of the course (RMC)
  double Speed = 0;        // knots (VTG)
  double Course = 0;       // degrees from true north (VTG, HDT)
};

// Formats the fix of one tick into its field texts.
TickFields FormatTickFields(double utcDateTime, double latitude, double longitude,
                            double altitudeMetres, double geoidSeparation, double speedKnots,
                            double courseDegrees, int timeDecimals, int minuteDecimals);

// The settings the sentences read when they are built.
struct SentenceSettings {
  std::string NmeaVersion = "2.3";  // text of the version box
  std::string NavStatus = "V";      // text of the navigational-status box; its first character
  FixIndicators Fix;
  PresetSummary Satellites;              // of the preset in use
  std::array<std::string, 9> DgpsAge{};  // by GGA quality digit 0..8
  std::array<std::string, 9> DgpsStation{};
  double MagVariation = std::numeric_limits<double>::quiet_NaN();  // east positive
  std::string MagVariationText = ",";  // the two RMC variation fields, "," when none
  std::string ZoneText = ",";          // the two ZDA zone fields, "," when none
  bool Idling = false;                 // RMC and VTG then report speed 0
};

// Each builder returns the framed sentence (checksum appended, no line end).
// `talker` is the talker prefix text of the sentence type: "$" and two letters.
// GGA and GNS index the differential texts by the quality digit; without a
// usable quality (empty or not 0..8) they cannot be built and give nullopt.
std::optional<std::string> BuildGGA(std::string_view talker, const TickFields& tick,
                                    const SentenceSettings& settings);
std::optional<std::string> BuildGNS(std::string_view talker, const TickFields& tick,
                                    const SentenceSettings& settings);
std::string BuildRMC(std::string_view talker, const TickFields& tick,
                     const SentenceSettings& settings);
std::string BuildGLL(std::string_view talker, const TickFields& tick,
                     const SentenceSettings& settings);
std::string BuildVTG(std::string_view talker, const TickFields& tick,
                     const SentenceSettings& settings);
std::string BuildZDA(std::string_view talker, const TickFields& tick,
                     const SentenceSettings& settings);
std::string BuildHDT(std::string_view talker, const TickFields& tick);

}  // namespace fixcaster
