#pragma once

namespace hchat {

/// Where a line the user typed stands: shown at once as pending, unmarked
/// once the server took it, marked with the reason when it never got there.
enum class OwnLineState {
    Pending,
    Delivered,
    NotDelivered,
};

} // namespace hchat
