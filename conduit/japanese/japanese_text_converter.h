// The converter that turns the registered string fields of one incoming message into
// Shift_JIS, and later puts the caller's strings back.
#ifndef CONDUIT_JAPANESE_JAPANESE_TEXT_CONVERTER_H_
#define CONDUIT_JAPANESE_JAPANESE_TEXT_CONVERTER_H_

#include "conduit/japanese/japanese_encoding.h"

namespace torrim::japanese {

// One registered string field.
struct TextSlot {
    char** slot;                       // address of the caller's string pointer
    char* previous;                    // the caller's pointer before conversion, or null
    char* copy;                        // the Shift_JIS copy, owned by the slot, or null
    const EncodingDetector* detector;  // the row whose converter made the copy, or null
    TextSlot* next;                    // next slot of the same list
};

// Lives for the reading of one message:
//   AddBodySlot / AddHeaderSlot for each field, ConvertAll, read the fields, RestoreAll.
// After ConvertAll a converted field's pointer points at a copy that this object owns; the
// caller must not free it, and must call RestoreAll (or destroy the converter, which does
// the same) before it frees or hands back the structure whose pointers were redirected.
// Each slot address may be registered once. Slot addresses must stay valid until
// RestoreAll. Not thread-safe: one converter serves one thread.
class CJapaneseTextConverter {
public:
    CJapaneseTextConverter() = default;
    ~CJapaneseTextConverter();
    CJapaneseTextConverter(const CJapaneseTextConverter&) = delete;
    CJapaneseTextConverter& operator=(const CJapaneseTextConverter&) = delete;

    // Registers the field *slot as message body or header text; the newest slot heads its
    // list. When memory runs out the field is not registered and stays unconverted.
    void AddBodySlot(char** slot);
    void AddHeaderSlot(char** slot);

    // Converts every body string that is not already Shift_JIS. Header strings are
    // converted only when the body list holds exactly one slot, that slot was converted
    // from UTF-8, and the non-empty header strings are all UTF-8 or Shift_JIS with at least
    // one UTF-8 among them (a UTF-8 string with a broken or cut-off sequence counts as
    // UTF-8): then each goes through Utf8ToShiftJis, except real Shift_JIS (not well-formed
    // UTF-8, well-formed Shift_JIS, fewer than half of its bytes above 0x7F in complete
    // UTF-8 sequences), which stays as it is. Null and empty strings are skipped; a string
    // whose copy cannot be allocated is left as it is.
    void ConvertAll();

    // Writes every caller pointer back as it was before ConvertAll, frees the copies and
    // the slots, and leaves both lists empty. Safe to call at any time, more than once.
    void RestoreAll();

    // The heads of the body and header lists, for inspection by tests.
    [[nodiscard]] const TextSlot* BodySlotsForTesting() const { return m_pBodySlots; }
    [[nodiscard]] const TextSlot* HeaderSlotsForTesting() const { return m_pHeaderSlots; }

private:
    static void AddSlot(TextSlot** head, char** slot);
    static void ConvertSlot(TextSlot* slot, const EncodingDetector* detector);
    static void ConvertBodySlot(TextSlot* slot, const Cp932CodeSet& codeSet);
    static void Attach(TextSlot* slot, char* copy, const EncodingDetector* detector);

    TextSlot* m_pBodySlots = nullptr;
    TextSlot* m_pHeaderSlots = nullptr;
};

}  // namespace torrim::japanese

#endif  // CONDUIT_JAPANESE_JAPANESE_TEXT_CONVERTER_H_
