// What became of a frame handed to the adapter.
#pragma once

// Decided at the send itself: a close that falls between a send and a later look at the
// port cannot pass for a refusal, nor the other way round.
enum class SendResult {
    Sent,         // the adapter took the frame
    Refused,      // the port was open and the adapter did not take it (bus off, queue full)
    PortClosed,   // no port was open: nothing was handed to the adapter
};
