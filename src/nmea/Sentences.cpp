#include "nmea/Sentences.h"

#include <cmath>

#include "nmea/Format.h"

namespace fixcaster {

namespace {

struct IndicatorRow {
  const char* Quality;
  const char* Mode;
  const char* Status;
};

// Rows by GGA status item 0..8 (also RMC status item 1..9). Row 2 (differential)
// has its own status letter D.
constexpr IndicatorRow IndicatorTable[] = {
    {"0", "N", "V"}, {"1", "A", "A"}, {"2", "D", "D"}, {"3", "P", "A"}, {"4", "R", "A"},
    {"5", "F", "A"}, {"6", "E", "V"}, {"7", "M", "V"}, {"8", "S", "V"},
};
constexpr int IndicatorRows = 9;

// The quality digit as an index of the differential texts, or -1.
int QualityIndex(const std::string& quality) {
  if (quality.size() != 1 || quality[0] < '0' || quality[0] > '8') return -1;
  return quality[0] - '0';
}

// First character (a whole UTF-8 sequence) of the navigational-status text.
std::string_view FirstCharacter(std::string_view text) {
  if (text.empty()) return text;
  const unsigned char lead = static_cast<unsigned char>(text[0]);
  size_t n = 1;
  if (lead >= 0xF0) {
    n = 4;
  } else if (lead >= 0xE0) {
    n = 3;
  } else if (lead >= 0xC0) {
    n = 2;
  }
  return text.substr(0, std::min(n, text.size()));
}

// Sentence text under construction; fields are joined with ",".
class Fields {
 public:
  Fields(std::string_view talker, std::string_view formatter) {
    text_.reserve(96);
    text_.append(talker);
    text_.append(formatter);
  }
  Fields& operator<<(std::string_view field) {
    text_.push_back(',');
    text_.append(field);
    return *this;
  }
  std::string Framed() const { return AppendChecksum(text_); }

 private:
  std::string text_;
};

}  // namespace

void UpdateFixIndicators(int statusItemIndex, int rmcStatusItemIndex, FixIndicators& fix) {
  const bool statusSelected = statusItemIndex >= 0 && statusItemIndex < IndicatorRows;
  const bool rmcSelected = rmcStatusItemIndex >= 0 && rmcStatusItemIndex <= IndicatorRows;
  fix.GgaQuality = statusSelected ? IndicatorTable[statusItemIndex].Quality : "";
  if (!rmcSelected) {
    // The mode letter stays what it was; only the status is lost.
    fix.FixStatus.clear();
    return;
  }
  int row = -1;
  if (rmcStatusItemIndex >= 1) {
    row = rmcStatusItemIndex - 1;
  } else if (statusSelected) {
    row = statusItemIndex;
  }
  fix.ModeIndicator = row >= 0 ? IndicatorTable[row].Mode : "";
  fix.FixStatus = row >= 0 ? IndicatorTable[row].Status : "";
}

bool VersionAtLeast(std::string_view version, std::string_view reference) {
  return version.compare(reference) >= 0;
}

bool GnsAvailable(std::string_view version) {
  return VersionAtLeast(version, "2.3");
}

bool NavStatusAvailable(std::string_view version) {
  return VersionAtLeast(version, "4.1");
}

TickFields FormatTickFields(double utcDateTime, double latitude, double longitude,
                            double altitudeMetres, double geoidSeparation, double speedKnots,
                            double courseDegrees, int timeDecimals, int minuteDecimals) {
  TickFields t;
  t.UtcDateTime = utcDateTime;
  t.Time = FormatUtc(utcDateTime, "hhnnss", timeDecimals);
  t.Date = FormatUtc(utcDateTime, "DDMMYY", 0);
  t.Latitude = FormatLatLon(latitude, 4, minuteDecimals);
  t.NorthSouth = HemiNS(latitude);
  t.Longitude = FormatLatLon(longitude, 5, minuteDecimals);
  t.EastWest = HemiEW(longitude);
  t.Altitude = FormatOneDecimal(altitudeMetres);
  t.Geoid = FormatOneDecimal(geoidSeparation);
  t.SpeedText = FormatOneDecimal(speedKnots);
  t.CourseText = FormatOneDecimal(courseDegrees);
  t.Speed = speedKnots;
  t.Course = courseDegrees;
  return t;
}

std::optional<std::string> BuildGGA(std::string_view talker, const TickFields& tick,
                                    const SentenceSettings& s) {
  const int q = QualityIndex(s.Fix.GgaQuality);
  if (q < 0) return std::nullopt;
  Fields f(talker, "GGA");
  f << tick.Time << tick.Latitude << tick.NorthSouth << tick.Longitude << tick.EastWest
    << s.Fix.GgaQuality
    << CountText(static_cast<long long>(s.Satellites.SatsUsed1) + s.Satellites.SatsUsed2)
    << s.Satellites.Hdop1 << tick.Altitude << "M" << tick.Geoid << "M" << s.DgpsAge[q]
    << s.DgpsStation[q];
  return f.Framed();
}

std::optional<std::string> BuildGNS(std::string_view talker, const TickFields& tick,
                                    const SentenceSettings& s) {
  const int q = QualityIndex(s.Fix.GgaQuality);
  if (q < 0) return std::nullopt;
  Fields f(talker, "GNS");
  f << tick.Time << tick.Latitude << tick.NorthSouth << tick.Longitude << tick.EastWest
    << s.Fix.ModeIndicator << CountText(s.Satellites.SatsUsed2) << s.Satellites.Hdop2
    << tick.Altitude << tick.Geoid << s.DgpsAge[q] << s.DgpsStation[q];
  if (NavStatusAvailable(s.NmeaVersion)) f << FirstCharacter(s.NavStatus);
  return f.Framed();
}

std::string BuildRMC(std::string_view talker, const TickFields& tick, const SentenceSettings& s) {
  Fields f(talker, "RMC");
  f << tick.Time << s.Fix.FixStatus << tick.Latitude << tick.NorthSouth << tick.Longitude
    << tick.EastWest << (s.Idling ? std::string_view("0.0") : std::string_view(tick.SpeedText))
    << tick.CourseText << tick.Date << s.MagVariationText;
  if (VersionAtLeast(s.NmeaVersion, "2.3")) f << s.Fix.ModeIndicator;
  if (NavStatusAvailable(s.NmeaVersion)) f << FirstCharacter(s.NavStatus);
  return f.Framed();
}

std::string BuildGLL(std::string_view talker, const TickFields& tick, const SentenceSettings& s) {
  Fields f(talker, "GLL");
  f << tick.Latitude << tick.NorthSouth << tick.Longitude << tick.EastWest << tick.Time
    << s.Fix.FixStatus;
  if (VersionAtLeast(s.NmeaVersion, "2.3")) f << s.Fix.ModeIndicator;
  return f.Framed();
}

std::string BuildVTG(std::string_view talker, const TickFields& tick, const SentenceSettings& s) {
  const double speed = s.Idling ? 0.0 : tick.Speed;
  Fields f(talker, "VTG");
  f << FormatOneDecimal(tick.Course) << "T";
  if (std::isnan(s.MagVariation)) {
    f << ""
      << "";
  } else {
    double m = tick.Course - s.MagVariation;
    if (m < 0) {
      m += 360;
    } else if (m > 360) {
      m -= 360;
    }
    f << FormatOneDecimal(m) << "M";
  }
  f << FormatOneDecimal(speed) << "N" << FormatOneDecimal(speed * 1.852) << "K";
  if (VersionAtLeast(s.NmeaVersion, "2.3")) f << s.Fix.ModeIndicator;
  return f.Framed();
}

std::string BuildZDA(std::string_view talker, const TickFields& tick, const SentenceSettings& s) {
  Fields f(talker, "ZDA");
  f << tick.Time;
  DateTimeParts t;
  if (DecodeDateTime(tick.UtcDateTime, t)) {
    f << ZeroPad(t.Day, 2) << ZeroPad(t.Month, 2) << ZeroPad(t.Year, 4);
  } else {
    f << ""
      << ""
      << "";
  }
  f << s.ZoneText;
  return f.Framed();
}

std::string BuildHDT(std::string_view talker, const TickFields& tick) {
  Fields f(talker, "HDT");
  f << FormatOneDecimal(tick.Course) << "T";
  return f.Framed();
}

}  // namespace fixcaster
