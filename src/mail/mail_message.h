// The text of one mail: addresses parsed from what a user typed, headers
// encoded and folded, the body and the attachment in their transfer
// encodings. Pure functions of their arguments: nothing here touches the
// network, the clock or a file, so each piece is tested on its own and the
// SMTP mailer only hands the finished bytes to the server.
//
// Every line ends in CR LF and no line is longer than 998 characters; header
// lines are kept within 78 where a blank allows a fold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnelo::mail {

struct Address {
    std::string name;     // display name, may be empty
    std::string mailbox;  // "box@host", what the envelope carries
};

// Splits an address field on `separator` (when not empty) and ",", outside
// quotes and angle brackets; trims each entry and skips empty ones. `field`
// names the field in errors ("To"). Throws Error 380 for a CR or LF anywhere
// in the field and for an entry whose mailbox is empty or holds a blank,
// a control character, a quote or an angle bracket.
std::vector<Address> parseAddressList(std::string_view text, std::string_view separator, std::string_view field);

// One address as a header shows it: `mailbox`, or `name <mailbox>` with
// the name quoted or as encoded words where it needs to be.
std::string formatAddress(const Address& address);

// Text for an unstructured header (Subject): as it is when it is plain
// printable ASCII with words that fit a line, else UTF-8 encoded words
// (RFC 2047, "B" encoding) split between characters, each at most 64
// characters long.
std::string encodeHeaderText(std::string_view text);

// "Name: value" CR LF, folded at blanks so that lines stay within 78
// characters where the value allows.
std::string headerLine(std::string_view name, std::string_view value);

// Base64 in lines of 76 characters, each ending in CR LF.
std::string base64Lines(std::string_view bytes);

// Line ends of any kind (CR LF, CR, LF) as CR LF.
std::string normalizeLineEnds(std::string_view text);

// Quoted-printable (RFC 2045) of text whose line ends are CR LF: lines of at
// most 76 characters, soft breaks where longer, blanks at a line's end and
// every byte outside printable ASCII escaped.
std::string quotedPrintable(std::string_view text);

// True when text (CR LF line ends) can travel as "7bit": ASCII without NUL
// or stray control characters and no line over 998 characters.
bool fitsSevenBit(std::string_view text);

// A uuencoded block: "begin 644 NAME", lines of up to 45 bytes, the "`"
// line and "end", each ending in CR LF. Control characters in the name
// become "_".
std::string uuencodeBlock(std::string_view bytes, std::string_view name);

// RFC 5322 date ("Tue, 05 Mar 2024 14:03:09 +0100") of a moment given as
// its local broken-down time and its offset from UTC in seconds; English
// names whatever the locale.
std::string mailDate(int year, int month, int day, int weekday, int hour, int minute, int second,
                     long utcOffsetSeconds);

struct MessageContent {
    Address from;
    std::vector<Address> to;
    std::vector<Address> cc;  // Bcc is not here: it never reaches the text
    std::string subject;
    std::string body;
    bool html = false;
    int32_t encoding = 0;  // 0 MIME, 1 UU
    int32_t priority = 3;  // 1, 3 or 5
    bool receipt = false;
    bool hasAttachment = false;
    std::string attachmentName;  // file name without folders
    std::string attachmentBytes;
    // Made by the caller, so that the text is a function of its input.
    std::string date;
    std::string messageId;  // without angle brackets
    std::string boundary;   // for multipart/mixed; longer if it occurs in the text
};

// The whole message, headers and body, ready for the DATA phase.
std::string buildMessage(const MessageContent& content);

}  // namespace varnelo::mail
