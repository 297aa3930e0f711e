#pragma once

namespace zorv::texts {

// The window's caption.
inline constexpr char16_t kWindowTitle[] = u"Velmo Test";
// Start-up text of Text1: a connection-text template for the user to edit.
inline constexpr char16_t kConnectionTemplate[] = u"host=ホスト名 user=ユーザー名";
// Start-up text of text2: the note on what the console is.
inline constexpr char16_t kStartNote[] =
    u"これは、libzorv.dllの使用サンプルです。詳しくはソースコードをご覧ください。";
// Accessible names of the two caption-less text boxes.
inline constexpr char16_t kInputName[] = u"Connection or statement text";
inline constexpr char16_t kAnswerName[] = u"Answer text";

}  // namespace zorv::texts
