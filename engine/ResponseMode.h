// The three response modes (the meter ballistics 1, 2, 3): attack and release times of a band
// from Resp and the band's centre. Pure function; any thread.
#pragma once

namespace lumetra {

struct ResponseTimes {
    float attackSec;
    float releaseSec;
};

// Resp below 0.3 is mode 1, below 0.7 mode 2, otherwise mode 3 (NaN included).
ResponseTimes responseTimes(float resp, float centreHz);

}  // namespace lumetra
