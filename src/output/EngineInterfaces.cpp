#include "output/EngineInterfaces.h"

#include <chrono>

namespace fixcaster {

double SystemUtcClock::NowUtc() const {
  using namespace std::chrono;
  // Unix time 0 is day 25569 of the date-time count (1970-01-01 after 1899-12-30).
  constexpr double UnixEpochDays = 25569.0;
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return UnixEpochDays + static_cast<double>(ms) / 86400000.0;
}

}  // namespace fixcaster
