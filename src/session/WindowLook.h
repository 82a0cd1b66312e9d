#pragma once

// What both windows show the same, whatever draws them: the wizard's fixed texts and the
// sizes the pages and the results window are laid out with (in pixels at 96 dots per
// inch; a window scales them to its screen).
namespace zp::look {

inline constexpr const char* kWelcomeText =
    "Welcome to Zelvan Probe.\n"
    "\n"
    "\n"
    "This tool is used to verify communication between your site and \n"
    "Zelvan across the Internet.\n"
    "\n"
    "Please press the Next button below to select which product you wish\n"
    "to verify.";

// The ways of connecting, in the order of their numbers.
inline constexpr const char* kConnectionItems[] = {
    "Connect to Corvalink(tm) via Internet using Normal Route",
    "Connect to Corvalink(tm) via Internet using Other Route",
    "Connect to Corvalink(tm) via WAN using Other Route",
};

inline constexpr int kMainWidth = 621;
inline constexpr int kMainHeight = 464;
inline constexpr int kResultsWidth = 459;
inline constexpr int kResultsHeight = 280;
inline constexpr int kButtonWidth = 67;
inline constexpr int kButtonHeight = 27;
inline constexpr int kStatusPanelHeight = 59;
inline constexpr int kButtonPanelHeight = 53;
// The status lines are read again this often while a test runs.
inline constexpr int kPollMs = 1000;

}  // namespace zp::look
