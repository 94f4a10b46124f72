// Every caption, hint and message the user sees, in one place.
#pragma once

namespace txt {

inline constexpr wchar_t kAppTitle[] = L"ピルカ２";
inline constexpr wchar_t kUntitled[] = L"無題";

// Main window and start-up.
inline constexpr wchar_t kNoLayered[] = L"OSが半透明ウィンドウに対応していません";
inline constexpr wchar_t kQuitUnsaved[] = L"未保存テキストがありますが\r\n保存せずに終了しますか？";
inline constexpr wchar_t kIniWriteFailed[] = L"%s に書き込めません";
inline constexpr wchar_t kSizeLabel[] = L"、サイズ=";
inline constexpr wchar_t kFolderCaption[] = L"保存フォルダ=";

// Tabs.
inline constexpr wchar_t kCloseUnsaved[] = L"が未保存ですが閉じますか？";
inline constexpr wchar_t kMenuClose[] = L"閉じる(&C)";

// Load and save.
inline constexpr wchar_t kCannotOpen[] = L"ファイル %s は開けません";
inline constexpr wchar_t kCannotCreate[] = L"ファイル %s を作成できません";
inline constexpr wchar_t kStreamReadFailed[] = L"ストリームからの読み込みに失敗しました";
inline constexpr wchar_t kStreamWriteFailed[] = L"ストリームへの書き込みに失敗しました";
inline constexpr wchar_t kOverwritten[] = L"を上書き保存しました。";
inline constexpr wchar_t kSaveFilter[] = L"リッチテキスト(*.rtf)|*.rtf|すべてのファイル(*.*)|*.*";
inline constexpr wchar_t kSaveDefaultExt[] = L"TXT";
inline constexpr wchar_t kLoading[] = L"読み込み中… ";
inline constexpr wchar_t kSaving[] = L"保存中… ";

// Open documents whose files another program changed, renamed or deleted.
inline constexpr wchar_t kFileReloaded[] = L"ファイル %s を読み込み直しました";
inline constexpr wchar_t kFileChangedReload[] =
    L"ファイル %s は他のプログラムで変更されました。\r\n読み込み直して、このタブの変更を破棄しますか？";
inline constexpr wchar_t kFileChangedOverwrite[] =
    L"ファイル %s は他のプログラムで変更されています。\r\n上書きしますか？";
inline constexpr wchar_t kFileMissing[] = L"ファイル %s は見つかりません";

// Unsaved work kept for the next start.
inline constexpr wchar_t kRecoveryOffer[] = L"前回の終了時に保存されていない文書が %s 件あります。復元しますか？";
inline constexpr wchar_t kRecoveryOff[] = L"フォルダに書き込めないため、未保存文書の復元はオフです";
inline constexpr wchar_t kEndSessionBlocked[] = L"保存されていない文書があります";

// Failures that no command expects: shown, and the program goes on.
inline constexpr wchar_t kOutOfMemory[] = L"メモリが不足しています";
inline constexpr wchar_t kUnexpectedError[] = L"予期しないエラーが発生しました";

// Find and replace.
inline constexpr wchar_t kFoundCount[] = L"個の文字列が見つかりました。";
inline constexpr wchar_t kReplacedCount[] = L"個の文字列を置換しました。";
inline constexpr wchar_t kEnterSearchText[] = L"検索文字列を何か入力してね";
inline constexpr wchar_t kReplaceFailed[] = L"置換に失敗しました";
inline constexpr wchar_t kConfirmOpen[] = L"『";
inline constexpr wchar_t kConfirmSearchEnd[] = L"』を";
inline constexpr wchar_t kConfirmReplaceEnd[] = L"』に";
inline constexpr wchar_t kConfirmLast[] = L"全置換します。ではいいですか？";

// Find in the folder's files.
inline constexpr wchar_t kHintFolderFind[] = L"フォルダ内を検索";
inline constexpr wchar_t kFolderFindCaption[] = L"「%s」 %d 件 / %d ファイル";
inline constexpr wchar_t kFolderFindCancelled[] = L"（中止）";
inline constexpr wchar_t kFolderFindLimited[] = L"（上限）";
inline constexpr wchar_t kFolderFindUnopened[] = L"（開けないファイル %d）";
inline constexpr wchar_t kFolderFindProgress[] = L"検索中 %d / %d ファイル";
inline constexpr wchar_t kFolderFindColumnFile[] = L"ファイル";
inline constexpr wchar_t kFolderFindColumnLine[] = L"行";
inline constexpr wchar_t kFolderFindColumnText[] = L"内容";
inline constexpr wchar_t kFolderFindClose[] = L"×";
inline constexpr wchar_t kFolderFindHitGone[] = L"該当箇所が見つかりません";

// Tool button hints.
inline constexpr wchar_t kHintPaneHyoj[] = L"フォルダパネル表示/非表示";
inline constexpr wchar_t kHintHakusi[] = L"新規白紙作成";
inline constexpr wchar_t kHintUwagaki[] = L"上書き保存";
inline constexpr wchar_t kHintNamaeHozon[] = L"名前付け保存";
inline constexpr wchar_t kHintTabToj[] = L"タブを閉じる";
inline constexpr wchar_t kHintFind[] = L"検索文字列";
inline constexpr wchar_t kHintKensak[] = L"文字列検索(右クリックで色クリア)";
inline constexpr wchar_t kHintTikanText[] = L"置換文字列";
inline constexpr wchar_t kHintTikan[] = L"文字列置換";
inline constexpr wchar_t kHintBold[] = L"太字";
inline constexpr wchar_t kHintItalic[] = L"斜体";
inline constexpr wchar_t kHintUnder[] = L"下線";
inline constexpr wchar_t kHintStrike[] = L"取り消し線";
inline constexpr wchar_t kHintWrap[] = L"ワードラップON/OFF";
inline constexpr wchar_t kHintFont[] = L"フォント設定";
inline constexpr wchar_t kHintColor[] = L"フォントの色";
inline constexpr wchar_t kHintUndo[] = L"元に戻す";
inline constexpr wchar_t kHintCut[] = L"切り取り";
inline constexpr wchar_t kHintCopy[] = L"コピー";
inline constexpr wchar_t kHintPaste[] = L"貼り付け";
inline constexpr wchar_t kHintAllSelect[] = L"すべて選択";
inline constexpr wchar_t kHintHelp[] = L"バージョン＆ヘルプ";
inline constexpr wchar_t kHintOneClick[] = L"ワンクリックオープン(ON/OFF)";
inline constexpr wchar_t kHintTomei[] = L"フォーム半透明(ON/OFF)";
inline constexpr wchar_t kHintFolderHistory[] = L"参照したフォルダ履歴";

// Editor pop-up menu.
inline constexpr wchar_t kPopUndo[] = L"元に戻す(&U)";
inline constexpr wchar_t kPopCopy[] = L"コピー(&C)";
inline constexpr wchar_t kPopPaste[] = L"貼り付け(&P)";
inline constexpr wchar_t kPopCut[] = L"切り取り(&T)";
inline constexpr wchar_t kPopDelete[] = L"削除(&D)";
inline constexpr wchar_t kPopSelectAll[] = L"全選択(&A)";

// Main window defaults.
inline constexpr wchar_t kUiFont[] = L"ＭＳ Ｐゴシック";
inline constexpr wchar_t kDefaultEditorFont[] = L"BIZ UDPゴシック";

// Font settings dialog.
inline constexpr wchar_t kFontDialogCaption[] = L"ピルカ２ フォント設定";
inline constexpr wchar_t kHintFontName[] = L"フォント名";
inline constexpr wchar_t kHintFontSize[] = L"フォントサイズ";
inline constexpr const wchar_t* kFontSizeItems[] = {L"6",  L"8",  L"10", L"11", L"12", L"14",  L"16",
                                                    L"18", L"20", L"24", L"28", L"32", L"36",  L"40",
                                                    L"48", L"50", L"60", L"70", L"90", L"100", L" "};
inline constexpr wchar_t kNotInteger[] = L"'%s' は整数ではありません";
inline constexpr wchar_t kFontSizeOutOfRange[] = L"フォントサイズ '%s' は 1 から 1638 までの整数で指定してください";

// Colour picking dialog.
inline constexpr wchar_t kColorDialogCaption[] = L"ピルカ２ 色取得";
inline constexpr wchar_t kPickButton[] = L"色取得";
inline constexpr wchar_t kHintNewPattern[] = L"カラーパターン変更";
inline constexpr wchar_t kPickedPanel[] = L"取得色";
inline constexpr wchar_t kDecidedPanel[] = L"決定色";
inline constexpr wchar_t kDecideButton[] = L"OK";
inline constexpr wchar_t kHintDecide[] = L"色を決定する";
inline constexpr wchar_t kArrow[] = L"->";
inline constexpr wchar_t kPickInstructions[] =
    L"「色取得」ボタンをクリックすると、\r\nマウスポイントの色を取得します。\r\n取得を止めるには[スペースキー]"
    L"\r\nを押してください。";
inline constexpr wchar_t kPickingStatus[] = L"色取得中：止める時は[スペースキー]を押してください。";
inline constexpr wchar_t kApplyColor[] = L"決定色を選択した文字列の色にする(&K)";

// Version and help window.
inline constexpr wchar_t kHelpCaption[] = L"ピルカ２ バージョン＆ヘルプ";

// Shell context menu and drag source.
inline constexpr wchar_t kItemCountBefore[] = L"一度に選択できるファイルの数は";
inline constexpr wchar_t kItemCountAfter[] = L"までだよ^^;";
inline constexpr wchar_t kItemCountCaption[] = L"ファイル選択でのお知らせ";
inline constexpr wchar_t kInvokeFailed[] = L" InvokeCommand failed! ";
inline constexpr wchar_t kInvokeFailedCaption[] = L" TContextMenuEx component version 2.05";
inline constexpr wchar_t kSendToAccel[] = L"(&N)";
inline constexpr wchar_t kSendToAccelOld[] = L"(&T)";
inline constexpr wchar_t kPasteAccel[] = L"(&P)";

// File list.
inline constexpr wchar_t kColumnName[] = L"名前";
inline constexpr wchar_t kColumnSize[] = L"サイズ(バイト)";
inline constexpr wchar_t kColumnType[] = L"ファイルの種類";
inline constexpr wchar_t kColumnDate[] = L"更新日時";
inline constexpr wchar_t kSortMark[] = L"*";
inline constexpr wchar_t kConfirmExecute[] = L"ファイルを実行しようとしてますが、いいですか？";
inline constexpr wchar_t kConfirmCaption[] = L"確認";

}  // namespace txt
