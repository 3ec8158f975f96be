#include <ctime>

#include "engine/Services.h"

namespace engine {
namespace {

class SystemClock final : public Clock {
public:
    CalendarDate Today() override {
        std::time_t now = std::time(nullptr);
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        return CalendarDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    }
};

}  // namespace

Clock& Clock::System() {
    static SystemClock clock;
    return clock;
}

}  // namespace engine
