// The benchmarks: each prints lines of the form "name: value unit".
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "shell/ShView.h"
#include "ui/rich_edit.h"

void RunFindBenchmarks();
void RunListBenchmarks();
void RunListBigBenchmarks();
void RunOpenSaveBenchmarks();
void RunTreeBenchmarks();
void RunTreeStormBenchmarks();
void RunPanelBenchmarks();
void RunRecoveryBenchmarks();
void RunDocumentCheckBenchmarks();
void RunFolderFindBenchmarks();

int main(int argc, char** argv) {
    shell::ShellModule shellModule;  // OLE, the shell allocator and the desktop folder, as the program has them
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&icc);
    ui::LoadRichEditLibrary();
    const char* only = argc > 1 ? argv[1] : nullptr;  // a name prefix: run only the matching benchmarks
    (void)only;
    auto wanted = [only](const char* group) { return !only || std::strncmp(only, group, std::strlen(only)) == 0; };
    if (wanted("open")) RunOpenSaveBenchmarks();
    if (wanted("find")) RunFindBenchmarks();
    if (wanted("list")) RunListBenchmarks();
    if (wanted("list100k")) RunListBigBenchmarks();
    if (wanted("tree")) RunTreeBenchmarks();
    if (wanted("treestorm")) RunTreeStormBenchmarks();
    if (wanted("panel")) RunPanelBenchmarks();
    if (wanted("recovery")) RunRecoveryBenchmarks();
    if (wanted("document")) RunDocumentCheckBenchmarks();
    if (wanted("folderfind")) RunFolderFindBenchmarks();
    std::fflush(stdout);
    return 0;
}
