#pragma once
// Command numbers of the menus and buttons of the main window. Each action and control carries its
// number as objectName, so scripts and tests find it.

namespace vn {

enum CommandId : int {
    // File
    CmdExit = 1001,
    CmdCompare = 1002,
    CmdReplace = 1003,
    CmdMoveFiles = 1004,
    CmdUndoMoveFiles = 1005, // this build's own
    // Setting
    CmdFolderA = 1006,
    CmdFolderB = 1007,
    CmdBackupFolder = 1008,
    CmdTempFolder = 1009,
    CmdId3BlockSize = 1010,
    CmdId3MinPadding = 1011,
    CmdSelectLame = 1021, // 1020 + EncoderIndex, up to 1026
    CmdSelectFlac,
    CmdSelectQaac,
    CmdSelectFdkaac,
    CmdSelectOpusEnc,
    CmdSelectFFmpeg,
    CmdOptionLame = 1031, // up to 1036
    CmdOptionFlac,
    CmdOptionQaac,
    CmdOptionFdkaac,
    CmdOptionOpusEnc,
    CmdOptionFFmpeg,
    CmdFFmpegContainers = 1037,
    CmdCharsetAnsi = 1041,
    CmdCharsetUtf8 = 1042,
    CmdPlayMci = 1043,
    CmdPlayMf = 1044,
    // Utility
    CmdPlaylistExt = 1051,
    CmdMiscCopy = 1052,
    // Help
    CmdManual = 1053,
    CmdAbout = 1054,
    // CD image Options
    CmdCreateImage = 1055,
    CmdEncodeImage = 1061,
    CmdEncodeImages = 1062,
    CmdCddbQuery = 1063,
    CmdAutoCddb = 1064,
    CmdCddbServer1 = 1065,
    CmdCddbServer2 = 1066,
    CmdBatchReencode = 1067,
    CmdSaveExisting = 1068,
    CmdExtPriority = 1069,
    CmdLevel0 = 1070, // up to 1075
    CmdLevel5 = 1075,
    CmdVerifyRecordings = 1080, // this build's own

    // Buttons
    BtnCompare = 2001,
    BtnReplace = 2002,
    BtnMoveFiles = 2003,
    BtnPlay = 2004,
    BtnPause = 2005,
    BtnStop = 2006,
    BtnRepeat = 2007,
    BtnProp = 2008,
    BtnBrowseA = 2011,
    BtnBrowseB = 2012,
    BtnBrowseBkup = 2013,
    BtnBrowseTemp = 2014,
    BtnExploreA = 2021,
    BtnExploreB = 2022,
    BtnExploreBkup = 2023,
    BtnExploreTemp = 2024,
    BtnModeB = 2025,
    BtnCdImageMode = 2026, // sent by the CD image window; no control of its own
    BtnModeBackup = 2027,
    BtnAbortBatch = 2028,
};

// Other controls with numbers of their own.
inline constexpr int StatusBarId = 100;
inline constexpr int ListViewId = 200;

// Pictures of the bitmap buttons.
enum BitmapId : int {
    BmpBrowseA = 5002,
    BmpBrowseFolderB = 5003,
    BmpBrowseCue = 5004,
    BmpBackup = 5005,
    BmpOutput = 5006,
    BmpTemp = 5007,
    BmpExplore = 5008,
};

} // namespace vn
