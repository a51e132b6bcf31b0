// The commands of the page "数据采集" on the console.
#include "collection/collection_commands.h"

#include "cli/command_table.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

const CommandRegistration kCollect{{
    .name = u"collect"_s,
    .summary = u"采集数据: downloads the terminal's new attendance records (--all: every record)"_s,
    .description = u"Stores the records in AtdRecord and leaves every record read in a raw record file "
                   u"data/FDataQ5yymmddhhnnss.hv. Without --all only the records the terminal has not handed "
                   u"out yet (采集新数据); with --all every record it holds (采集全部数据)."_s,
    .options = {QCommandLineOption(QStringList{u"all"_s},
                                   u"采集全部数据: every record the terminal holds"_s)},
    .run =
        [](CommandInvocation& run) {
            run.setOutcome(orvelo::btn_GetDataClick(run.context(), !run.isSet(u"all"_s)));
        },
    .holdsFolderLock = true,
}};

const CommandRegistration kImportUsb{{
    .name = u"import-usb"_s,
    .summary = u"U盘数据导入: imports a log file that a terminal wrote to a USB disk"_s,
    .description = u"The records are attributed to the machine number of --machine and also go into a "
                   u"new raw record file."_s,
    .arguments = {{.name = u"FILE"_s,
                   .description = u"the USB-disk log file (the dialog's choice)"_s,
                   .answersFileDialog = true}},
    .run = [](CommandInvocation& run) { run.setOutcome(orvelo::btn_ImportDataFromUClick(run.context())); },
    .holdsFolderLock = true,
}};

const CommandRegistration kImportRaw{{
    .name = u"import-raw"_s,
    .summary = u"刷卡文件导入: stores the records of a raw record file again"_s,
    .description = u"Records stored before count as duplicates. A file left behind by a download that "
                   u"stopped (data/FDataQ5...-N.part) is read the same way."_s,
    .arguments = {{.name = u"FILE"_s,
                   .description = u"the raw record file (the dialog's choice)"_s,
                   .answersFileDialog = true}},
    .run = [](CommandInvocation& run) { run.setOutcome(orvelo::btn_ImportFromHVClick(run.context())); },
    .holdsFolderLock = true,
}};

}  // namespace

}  // namespace orvelo::cli
