// Plain text handed to the rich edit control in pieces.
#include <gtest/gtest.h>

#include "ui/rich_edit.h"

TEST(TextPieces, LineEndsAndSurrogatePairsComeThroughWhereverTheControlCutsItsReads) {
    const std::wstring text = L"ab\r\ncd\n\r😀e\r\r\nf😀\r\n😀😀\r";
    const std::wstring paragraphs = L"ab\rcd\r\r😀e\r\rf😀\r😀😀\r";
    for (size_t capacity = 1; capacity <= 9; ++capacity) {
        std::wstring joined;
        size_t pos = 0;
        for (int pieces = 0; pos < text.size(); ++pieces) {
            ASSERT_LT(pieces, 100) << "no progress at capacity " << capacity;
            std::wstring piece(capacity, L'\0');
            const size_t n = ui::NextTextPiece(text, pos, piece.data(), capacity);
            ASSERT_GE(n, 1u);
            ASSERT_LE(n, capacity);
            piece.resize(n);
            // Only a piece of one unit cannot hold a pair whole.
            if (capacity > 1 && pos < text.size()) {
                EXPECT_FALSE(IS_HIGH_SURROGATE(piece.back())) << "capacity " << capacity << " at " << pos;
            }
            joined += piece;
        }
        EXPECT_EQ(joined, paragraphs) << "capacity " << capacity;
    }
    size_t end = text.size();
    wchar_t unit = 0;
    EXPECT_EQ(ui::NextTextPiece(text, end, &unit, 1), 0u);  // the end of the text ends the stream
}
