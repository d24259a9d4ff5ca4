#pragma once

namespace hchat {

/// Entries of the message catalogue the code looks up, by the label each has
/// in data/strings2.txt.
namespace CatalogueText {
inline constexpr int WebBase = 0;
inline constexpr int HelpBase = 5;
inline constexpr int AddressPrefix = 439;
inline constexpr int LinkTimeFormat = 456;
inline constexpr int SiteSuffix = 474;
inline constexpr int BatchExtension = 476;
inline constexpr int Staff5 = 487;
inline constexpr int StaffDefaultNick = 511;
inline constexpr int DeskDefaultNick = 512;
inline constexpr int NickCaption = 513;
inline constexpr int NickPrompt = 514;
inline constexpr int LinkBack = 515;
inline constexpr int RepeatWarning = 522;
inline constexpr int BufferNotice = 525;
inline constexpr int PageNotice = 527;
inline constexpr int Departure = 528;
inline constexpr int Arrival = 529;
inline constexpr int StaffIdMarker = 530;
inline constexpr int LinkLostTail = 558;
inline constexpr int LinkLost = 559;
inline constexpr int Batch1 = 560;
inline constexpr int ProgramFile = 567;
inline constexpr int Welcome = 568;
} // namespace CatalogueText

} // namespace hchat
