#pragma once
// What the terminal and the controller say to each other, written once: the command
// lines the terminal sends (each ending in CR LF), the markers it looks for in the
// controller's replies, and the texts the exchanges put in the receive pane.
//
// Replies are recognised by case-sensitive substring tests on one datagram or serial
// chunk; a marker split over two replies is not seen. Each exchange tests the markers
// in an order of its own, so the order is an argument of `classify`.

#include <initializer_list>
#include <string_view>

namespace vantor::core {

inline constexpr std::string_view kLineEnd = "\r\n";

// Command lines.
inline constexpr std::string_view kListUdp = "LIST\r\n";
inline constexpr std::string_view kListSerial = "LISt\r\n"; // as the serial console expects
inline constexpr std::string_view kNewCommand = "NEW\r\n";
inline constexpr std::string_view kVersionCommand = "VER\r\n";
inline constexpr std::string_view kGatewayInit = "UART 2,7\r\n";

// Texts an exchange puts in the receive pane.
inline constexpr std::string_view kLoadData = "LOAD DATA = ";
inline constexpr std::string_view kSendCompleted = "SEND BASIC PROGRAM COMPLETED\r\n";
inline constexpr std::string_view kSourceError = "Error - see  source file \r\n";
inline constexpr std::string_view kEmptyProgram = "EMPTY FILE - NOTHING SENT\r\n";
inline constexpr std::string_view kAccessDenied = "ACCESS DENIED\r\n";
inline constexpr std::string_view kLoadCompleted = "LOAD BASIC PROGRAM COMPLETED\r\n";

// The link a reply came over: over UDP a program exchange also watches for the
// controller's login prompts, and the listing command is spelt differently.
enum class Link { Udp, Serial };

enum class Reply {
    Other,
    Ok,          // "OK" anywhere
    OkNearStart, // "OK" within the first five characters
    Error,       // "ERROR"
    EndOfData,   // "ND"
    Login,       // "Login", or else "Passwor"
};

bool matches(std::string_view reply, Reply marker);
// The first marker of `order` that the reply holds; Other when it holds none.
Reply classify(std::string_view reply, std::initializer_list<Reply> order);

} // namespace vantor::core
