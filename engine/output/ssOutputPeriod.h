#pragma once
// One frame period of a card: when the frame chosen for it goes on air and for how long, in
// seconds on the card's reference. Cards locked to one reference give the same period the same
// time, so engines playing to different cards can agree on "this period".

struct ssOutputPeriod {
    double displayTime = 0.0;
    double duration = 0.0;
};
