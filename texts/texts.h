// The message catalogue: every text the programmer application shows, keyed
// by the place where it is used. Each language set is one `Texts` constant;
// a program carries the set its build chose.
#pragma once

struct Texts {
    // Window texts.
    const char* mainTitle;
    const char* menuFile;
    const char* menuOpenFile;
    const char* menuSaveFile;
    const char* menuExit;
    const char* menuAbout;
    const char* menuAboutItem;
    const char* groupChipSetting;
    const char* groupFile;
    const char* labelFlashSize;
    const char* labelLoad;
    const char* labelBufferedSize;
    const char* labelCheckSum;
    const char* buttonConnect;
    const char* buttonDisconnect;
    const char* buttonSetFlash;
    const char* buttonLoad;
    const char* buttonErase;
    const char* buttonBlank;
    const char* buttonProgram;
    const char* buttonVerify;
    const char* buttonRead;
    const char* buttonOneKey;
    const char* aboutTitle;
    const char* aboutLine;
    const char* aboutAddress;
    const char* aboutOk;
    const char* oneKeyTitle;
    const char* oneKeyOk;
    const char* oneKeyCancel;
    const char* oneKeyErase;
    const char* oneKeyProgram;
    const char* oneKeyVerify;

    // Main window: start, connection, flash size.
    const char* startLoadingHid;
    const char* deviceArrived;
    const char* deviceRemoved;
    const char* connectOk;
    const char* connectFail;
    const char* connectNoneFree;  // every programmer there is held by the station
    const char* disconnect;
    const char* setFlashOk;
    const char* setFlashFail;
    const char* setFlashTooLarge;

    // Image files.
    const char* loadCancelled;
    const char* loadFileTooLarge;
    const char* loadSizeLine;  // printf format: %d, %f
    const char* loadWarningText;
    const char* loadWarningCaption;
    const char* loadReadOk;
    const char* loadTooLargeForFlash;
    const char* loadReadError;
    const char* loadOpenError;  // printf format: %x
    const char* loadNoMemory;
    const char* checksumLine;  // printf format: %llX
    const char* saveNoData;
    const char* saveCancelled;
    const char* saveCreateError;
    const char* saveOk;
    const char* saveError;
    const char* saveDialogTitle;
    const char* openDialogTitle;
    const char* busyText;
    const char* busyCaption;

    // Read worker.
    const char* readStart;
    const char* readError;
    const char* readDone;
    // Blank-check worker.
    const char* blankStart;
    const char* blankReadError;
    const char* blankYes;
    const char* blankNo;
    // Program worker.
    const char* programNull;
    const char* programStart;
    const char* programError;
    const char* programDone;
    const char* programFail;
    // Verify worker.
    const char* verifyNull;
    const char* verifyStart;
    const char* verifyReadError;
    const char* verifyPass;
    const char* verifyFail;
    // Erase worker.
    const char* eraseProtect;
    const char* eraseStart;
    const char* eraseSecondMethod;
    const char* eraseFailed;
    const char* eraseDirectOk;
    const char* eraseOk;
    // One-key download.
    const char* oneKeyNull;
    const char* oneKeyProtect;
    const char* oneKeyEraseStart;
    const char* oneKeySecondMethod;
    const char* oneKeyEraseFailed;
    const char* oneKeyEraseDirectOk;
    const char* oneKeyEraseOk;
    const char* oneKeyProgramStart;
    const char* oneKeyProgramError;
    const char* oneKeyProgramDone;
    const char* oneKeyProgramFail;
    const char* oneKeyVerifyStart;
    const char* oneKeyVerifyReadError;
    const char* oneKeyVerifyPass;
    const char* oneKeyVerifyFail;
    // An erase that read the flash first and found it blank.
    const char* eraseSkippedBlank;

    // The desktop program: its menu items, the image view and the station
    // board. {1}, {2}, ... are slots the front end fills in; no printf.
    const char* menuStation;
    const char* menuImageView;
    const char* imageViewTitle;
    const char* imageViewSummary;
    const char* boardTitle;
    const char* boardImage;
    const char* boardFlashSize;
    const char* boardTruncate;
    const char* boardAuditLog;
    const char* boardChecksum;
    const char* boardChecksumAny;
    const char* boardStart;
    const char* boardStop;
    const char* boardTotals;
    const char* boardNoImage;
    const char* boardChecksumNotHex;
    const char* boardAuditLogError;
    const char* boardImageMissing;
    const char* boardImageNotLoaded;
    const char* boardChecksumWrong;
    const char* boardTooLarge;
    const char* boardTruncating;
    const char* boardTaking;
    const char* boardStopTaking;
    const char* boardClosing;
    const char* boardStopped;
    const char* boardNotRecorded;
    const char* tileTitle;
    const char* tileNoModule;
    const char* tileSeated;
    const char* tileSettingFlash;
    const char* tileErasing;
    const char* tileProgramming;
    const char* tileVerifying;
    const char* tileWorking;
    const char* tilePass;
    const char* tileFail;
    const char* tileCounts;
    const char* tileSerial;
    const char* boardSerialsLeft;
    const char* tileEmpty;
    const char* tileSeatedIdle;
    const char* tileBusy;
    const char* tileAfterPass;
    const char* tileAfterFail;
    const char* tileUnplugged;
    const char* tileHandled;
    // The station board on a production job.
    const char* menuOpenJob;
    const char* jobChooserTitle;
    const char* jobChooserFilter;
    const char* boardSteps;
    const char* boardEraseIfNeeded;
    const char* boardJobChecksum;
    const char* boardLeaveJob;
    const char* jobHeading;
    const char* jobHeadingRevision;
    const char* jobImageSigner;
    const char* jobUnsigned;
    const char* jobReady;
    const char* jobReadyUnsigned;
    const char* jobRefusedHeading;
    const char* jobRefusedSignature;
    const char* jobRefusedImageMissing;
    const char* jobRefusedImageChanged;
    const char* jobRefusedTooLarge;
    const char* jobRefusedAutoSize;
    const char* jobRefusedText;
    const char* jobUnsupported;
    const char* jobImageChangedAtStart;
};

// Texts that are the same in every build.
namespace shared_texts {
constexpr const char* kSizeFieldFormat = "%f KB";
constexpr const char* kChecksumFieldFormat = "0x%llX";
constexpr const char* kFilterBin = "Bin File(*.BIN)";
constexpr const char* kFilterText = "Text File(*.txt)";
constexpr const char* kFilterAll = "All File(*.*)";
constexpr const char* kDefaultExtension = "TPAK";
}  // namespace shared_texts

extern const Texts kTextsEn;
extern const Texts kTextsSc;

// The set this program carries (chosen by the build).
const Texts& builtTexts();

// The set in use: the built set unless a front end with several sets chose
// another one at start.
const Texts& txt();
void useTexts(const Texts& texts);
