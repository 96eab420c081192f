// Address text: handheld address lines ("address (Name)"), recipient lists separated by
// line ends, commas or semicolons, and the names and addresses the desktop mail systems
// deliver. Pure functions of their arguments; multi-byte aware in the active code page.
#pragma once

#include <string>
#include <string_view>

namespace torrim {

class CMessage;

// The text " at " of the string table, which some mail systems put after an address.
inline constexpr std::string_view DEFAULT_AT_TEXT = " at ";

// Removes the next item from `list` and returns it trimmed (empty when none is left). A
// comma or semicolon inside parentheses or a quoted name belongs to the item; a line end
// always ends it.
std::string TakeListItem(std::string& list);

// The text before the first "(", trimmed and lower-cased.
std::string AddressOf(std::string_view item);

// The display name of an item: the name in parentheses, before an address in angle
// brackets or in quotes; the item itself otherwise.
std::string DisplayNameOf(std::string_view item);

// "address (name)", or the address alone when the name is empty or equals the address
// ignoring case.
std::string ComposeAddress(std::string_view address, std::string_view name);

// The message's recipients of `kind` (1 To, 2 Cc, 3 Bcc) composed and joined with "\n".
std::string JoinRecipients(const CMessage& message, int kind);

// Appends a recipient of kind field + 1 for every non-empty item of `text`.
// `field` is 0 (To), 1 (Cc) or 2 (Bcc).
void SplitRecipients(CMessage& message, std::string_view text, int field);

// Whether `part` occurs in `text` ignoring case (an empty part occurs everywhere).
bool ContainsIgnoringCase(std::string_view text, std::string_view part);

bool HasAtSign(std::string_view text);

// The bare address to send to: native prefixes, angle brackets, a trailing display name
// and an " at " suffix removed.
std::string CleanAddress(std::string_view text, std::string_view atText = DEFAULT_AT_TEXT);

// A display name derived from a native address of the desktop mail systems, or the empty
// text when the form is not recognised.
std::string DisplayNameFromNative(std::string_view text, std::string_view atText = DEFAULT_AT_TEXT);

// Trims blanks, tabs and line ends on both sides.
std::string_view TrimText(std::string_view text);

}  // namespace torrim
