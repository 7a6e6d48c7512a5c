// Every text the user sees and every registry or profile name the program
// uses, in one place. Log texts are written exactly as they stand here.
#pragma once

#include "platform/api/WinPaths.h"

namespace tarnel {

// --- Program -----------------------------------------------------------------
inline constexpr char cProgramTitle[] = "Tarnel";
inline constexpr char cCaptionFormat[] = "Tarnel - Version %d.%d - Release %d - Build %d";
// The version as the about box states it.
inline constexpr char cVersionFormat[] = "Version %d.%d - Release %d - Build %d";

// --- Registry: the program's own keys (current user / local machine) ---------
inline constexpr char cCompanyKey[] = "SOFTWARE\\Halvorin";
inline constexpr char cPreferencesSubKey[] = "Preferences";
inline constexpr char cPreferencesKey[] = "SOFTWARE\\Halvorin\\Preferences";
inline constexpr char cInactiveKey[] = "SOFTWARE\\Halvorin\\Drivers.Inactive";
// Beside the inactive store, on a machine Wine runs: where each inactive
// entry that came from SYSTEM.INI goes back to.
inline constexpr char cInactiveHomeKey[] = "SOFTWARE\\Halvorin\\Drivers.Inactive.Home";

// --- Registry: the system's driver lists (local machine) ---------------------
inline constexpr const char* cDrivers32Key = platform::kDrivers32KeyPath;
inline constexpr const char* cDriversKey = platform::kDriversKeyPath;
inline constexpr char cDrivers32BackupKey[] =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32.Backup";

// --- Profile file -------------------------------------------------------------
inline constexpr const char* cSystemIni = platform::kSystemIniName;
inline constexpr const char* cDrivers32Section = platform::kDrivers32SectionName;
inline constexpr unsigned cSectionBufferSize = 32767;

// --- Driver entries -----------------------------------------------------------
inline constexpr char cVidcPrefix[] = "vidc";
inline constexpr char cVidcTypeCode[] = "VIDC";
inline constexpr char cKindVideo[] = "Video";
inline constexpr char cType32[] = "32";
inline constexpr char cType16[] = "16";
inline constexpr char cInactiveMark[] = "#";
// One inactive entry's six texts with their zero bytes may take at most this.
inline constexpr unsigned cMaxInactiveEntryBytes = 2047;
// A seventh text of an inactive entry whose driver text was an expandable
// string: readers that take six texts pass over it, and the entry goes back
// into service as an expandable string again.
inline constexpr char cExpandableDriverMark[] = "REG_EXPAND_SZ";

// --- Operating-system facts ---------------------------------------------------
inline constexpr const char* cNTCurrentVersionKey = platform::kNtCurrentVersionKeyPath;
inline constexpr char cSystemRootValue[] = "SystemRoot";
inline constexpr const char* cProductOptionsKey = platform::kProductOptionsKeyPath;
inline constexpr char cProductTypeValue[] = "ProductType";
inline constexpr char cProductWinNT[] = "winnt";
inline constexpr char cProductServerNT[] = "servernt";

inline constexpr char cOsWin32s[] = "Win32s ";
inline constexpr char cOsWin95[] = "Windows 95 ";
inline constexpr char cOsWin98[] = "Windows 98 ";
inline constexpr char cOsWinMe[] = "Windows Millennium ";
inline constexpr char cOsWinNT[] = "Windows NT ";
inline constexpr char cOsWin2000[] = "Windows 2000 ";
inline constexpr char cOsWinXP[] = "Windows XP ";
inline constexpr char cEditionOsr2[] = "OSR2 ";
inline constexpr char cEditionSE[] = "SE ";
inline constexpr char cEditionPersonal[] = "Personal ";
inline constexpr char cEditionProfessional[] = "Professional";
inline constexpr char cEditionDataCenter[] = "DataCenter Server ";
inline constexpr char cEditionAdvancedServer[] = "Advanced Server ";
inline constexpr char cEditionServer[] = "Server ";
inline constexpr char cEditionWorkstation[] = "Workstation ";
// The later NT versions, named as their own dialogs name them; the
// registry's edition (EditionID) follows the name.
inline constexpr char cEditionIdValue[] = "EditionID";
inline constexpr char cOsVista[] = "Windows Vista ";
inline constexpr char cOsWin7[] = "Windows 7 ";
inline constexpr char cOsWin8[] = "Windows 8 ";
inline constexpr char cOsWin81[] = "Windows 8.1 ";
inline constexpr char cOsWin10[] = "Windows 10 ";
inline constexpr char cOsWin11[] = "Windows 11 ";
inline constexpr char cOsServer2008[] = "Windows Server 2008 ";
inline constexpr char cOsServer2008R2[] = "Windows Server 2008 R2 ";
inline constexpr char cOsServer2012[] = "Windows Server 2012 ";
inline constexpr char cOsServer2012R2[] = "Windows Server 2012 R2 ";
inline constexpr char cOsServer2016[] = "Windows Server 2016 ";
inline constexpr char cOsServer2019[] = "Windows Server 2019 ";
inline constexpr char cOsServer2022[] = "Windows Server 2022 ";
inline constexpr char cOsServer2025[] = "Windows Server 2025 ";

// --- Settings value names -----------------------------------------------------
inline constexpr char cSizeEqually[] = "SizeEqually";
inline constexpr char cStayOnTop[] = "StayOnTop";
inline constexpr char cAutoSwap[] = "AutoSwap";
inline constexpr char cSavePositions[] = "SavePositions";
inline constexpr char cDisableDoubleClick[] = "DisableDoubleClick";
inline constexpr char cMainTop[] = "MainTop";
inline constexpr char cMainLeft[] = "MainLeft";
inline constexpr char cMainHeight[] = "MainHeight";
inline constexpr char cMainWidth[] = "MainWidth";
inline constexpr char cActiveCodecHeight[] = "ActiveCodecHeight";
inline constexpr char cProgramFont[] = "ProgramFont";
// Beside the twelve: the machines opened last ("RecentMachine1" ...) and the
// view chosen last.
inline constexpr char cRecentMachineValue[] = "RecentMachine";
inline constexpr char cViewValue[] = "View";
inline constexpr char cFontSize[] = "FontSize";
inline constexpr char cDefaultFont[] = "Arial";
inline constexpr int cDefaultFontSize = 10;

// --- Version resource ---------------------------------------------------------
inline constexpr char cNotDefined[] = "[Not Defined]";
inline constexpr char cTranslationQuery[] = "\\VarFileInfo\\Translation";
inline constexpr char cStringFileInfoQuery[] = "\\StringFileInfo\\";
inline constexpr char cVerCompanyName[] = "CompanyName";
inline constexpr char cVerFileDescription[] = "FileDescription";
inline constexpr char cVerFileVersion[] = "FileVersion";
inline constexpr char cVerInternalName[] = "InternalName";
inline constexpr char cVerLegalCopyright[] = "LegalCopyright";
inline constexpr char cVerLegalTradeMarks[] = "LegalTradeMarks";
inline constexpr char cVerOriginalFilename[] = "OriginalFilename";
inline constexpr char cVerProductName[] = "ProductName";
inline constexpr char cVerProductVersion[] = "ProductVersion";
inline constexpr char cVerComments[] = "Comments";

// --- Log lines ----------------------------------------------------------------
inline constexpr char cLogSeparator[] = " : ";
inline constexpr char cLogGettingOsVersion[] =
    "Getting OS Version (Needed for the correct Codec Info Location)";
inline constexpr char cLogDisplayingMessage[] = "Displaying Message : ";
inline constexpr char cMsgOsNotSupported[] = "This OS is not supported. End of Game!";
inline constexpr char cLogGettingOwnVersion[] = "Getting my own Version Information";
inline constexpr char cLogLoadedSettings[] = "Loaded Program Settings";
inline constexpr char cLogConfiguringProgram[] = "Configuring Program";
inline constexpr char cLogSettingFont[] = "Setting Program to use configured font";
inline constexpr char cLogSettingStatusbar[] = "Setting Statusbar Info - ";
inline constexpr char cStatusRunningOn[] = "Running On : ";
inline constexpr char cLogRefreshingList[] = "Refreshing List";
inline constexpr char cLogDisplayingHelp[] = "Displaying Help";
inline constexpr char cLogDisplayingAbout[] = "Displaying About...";
inline constexpr char cLogLoadingCodecListview[] = "Loading Codec Listview";
inline constexpr char cLogStartRegistry[] = "Start Loading Codec List from Registry";
inline constexpr char cLogEndRegistry[] = "End Loading Codec List from Registry";
inline constexpr char cLogMachine[] = "Machine : ";
inline constexpr char cLogStartSystemIni[] = "Start Loading Codec List from System.ini";
inline constexpr char cLogEndSystemIni[] = "End Loading Codec List from System.ini";
inline constexpr char cLogStartInactive[] = "Start Loading Inactive Codec List from Registry";
inline constexpr char cLogEndInactive[] = "End Loading Inactive Codec List from Registry";
// Entries the loaders pass over; the write-back leaves them alone as well.
inline constexpr char cLogSkipDriverEntry[] = "Skipping driver entry '%s': its data is not text";
inline constexpr char cLogSkipInactiveEntry[] =
    "Skipping inactive entry '%s': its data is not binary";

// --- Progress displays --------------------------------------------------------
inline constexpr char cProgressLoadingCodecs[] = "Loading and Querying Registry Codec List";
inline constexpr char cSplashLoading[] = "Loading :";
inline constexpr char cPercentSign[] = "%";

// --- Codec window -------------------------------------------------------------
inline constexpr char cActiveCodecsTitle[] = "Active Codecs";
inline constexpr char cActiveCodecsSubtitle[] = "List of Active Codecs";
inline constexpr char cInactiveCodecsTitle[] = "Inactive Codecs";
inline constexpr char cInactiveCodecsSubtitle[] = "List of installed, but inactive Codecs";
inline constexpr char cActiveCount[] = "Active : ";
inline constexpr char cInactiveCount[] = "Inactive : ";
inline constexpr char cColFourcc[] = "Fourcc";
inline constexpr char cColDriver[] = "Driver";
inline constexpr char cColShortname[] = "Shortname";
inline constexpr char cColDescription[] = "Description";
inline constexpr char cColVersion[] = "Version";
inline constexpr char cColNumber[] = "Number";
inline constexpr char cColType[] = "Type";
// On a machine Wine runs: where each codec lives (or goes back to).
inline constexpr char cColStore[] = "Store";
inline constexpr char cStoreRegistry[] = "Registry";
inline constexpr char cStoreSystemIni[] = "SYSTEM.INI";
inline constexpr char cShadowedSuffix[] = " (shadowed)";
inline constexpr char cShadowedBy[] = "shadowed by ";

// --- DirectShow filter list -------------------------------------------------------
// Under the classes root: "CLSID\<category>\Instance" lists the filters,
// "CLSID\<class>\InprocServer32" names a filter's server file.
inline constexpr char cClsidKey[] = "CLSID";
inline constexpr char cInstanceKey[] = "Instance";
inline constexpr char cInprocServer32Key[] = "InprocServer32";
inline constexpr char cFriendlyNameValue[] = "FriendlyName";
inline constexpr char cClsidValue[] = "CLSID";
inline constexpr char cDirectShowSubtitle[] = "Installed DirectShow Filters";
inline constexpr char cColFilter[] = "Filter";
inline constexpr char cColFile[] = "File";
inline constexpr char cColCompany[] = "Company";

// --- Preferences dialog -------------------------------------------------------------
inline constexpr char cPreferencesSubtitle[] = "Program Preferences";
inline constexpr char cSizeEqualBox[] = "Size Windows &Equally";
inline constexpr char cStayOnTopBox[] = "Stay on &Top";
inline constexpr char cSavePositionBox[] = "Save Window &Position";
inline constexpr char cAutoSwapBox[] = "&AutoSwap";
inline constexpr char cDisableDblClickBox[] = "&Disable Double Click";
inline constexpr char cPreviewText[] = "abcdefghijklmnopqrstuvwxyz";
inline constexpr char cChangeFontLabel[] = "Change &Font";
inline constexpr char cFontSizeLabel[] = "Fontsize";
// The font box's entry for the platform's default font.
inline constexpr char cDefaultFontEntry[] = "Default";
inline constexpr int cMinFontSize = 6;
inline constexpr int cMaxFontSize = 100;

// --- Main window ----------------------------------------------------------------
inline constexpr char cApplicationTitle[] = "Tarnel";
inline constexpr char cHelpFile[] = "Tarnel.hlp";
inline constexpr char cMenuFile[] = "&File";
inline constexpr char cMenuExit[] = "&Exit";
inline constexpr char cMenuOpenMachine[] = "&Open Machine...";
inline constexpr char cMenuView[] = "&View";
inline constexpr char cMenuView32[] = "&32-bit View";
inline constexpr char cMenuView64[] = "&64-bit View";
inline constexpr char cOpenMachineTitle[] = "Open Machine";
inline constexpr char cStatusMachine[] = "Machine : ";
inline constexpr char cLogOpeningMachine[] = "Opening Machine ";
inline constexpr char cMenuOptions[] = "&Options";
inline constexpr char cMenuPreferences[] = "&Preferences...";
inline constexpr char cMenuRefresh[] = "&Refresh";
inline constexpr char cMenuHelp[] = "&Help";
inline constexpr char cMenuContents[] = "&Contents";
inline constexpr char cMenuAbout[] = "&About";
inline constexpr char cTabVideoCodecs[] = "VfW Codecs";
inline constexpr char cTabDirectShow[] = "DirectShow Filters";
inline constexpr char cTabLog[] = "Log";
inline constexpr char cQuitQuestion[] = "Quit, Leave, Exit, Shutdown Program?";
inline constexpr char cLogViewerSubtitle[] = "Log Viewer";
inline constexpr char cHelpNotFound[] = "The help file %s cannot be opened";
inline constexpr char cHelpWindowTitle[] = "Tarnel Help";

// --- Message, question, progress and about windows ------------------------------
inline constexpr char cMessageTitle[] = "Tarnel System Message";
inline constexpr char cMessageSubtitle[] = "Respond to the message below";
inline constexpr char cMessageDesignText[] = "ErrorMessageGoesHere";
inline constexpr char cOkButton[] = "&Ok";
inline constexpr char cQuestionSubtitle[] = "Question";
inline constexpr char cQuestionDesignText[] = "Type your question here!!";
inline constexpr char cYesButton[] = "&Yes";
inline constexpr char cNoButton[] = "&No";
inline constexpr char cCancelButton[] = "&Cancel";
inline constexpr char cSplashCopyright[] = "Copyright (C) 2026";
inline constexpr char cSplashAuthor[] = "by Halvorin";
// Follows the version on the about box's build line.
inline constexpr char cAboutBuild[] = " for Linux, on an emulated Windows machine";
// ... and on Windows itself.
inline constexpr char cAboutBuildWindows[] = " for Windows";
inline constexpr char cAboutTestedOn[] =
    "Tested on Windows 9x, ME, NT 4.0, Windows 2000 and Windows XP Professional (Successfully)";
inline constexpr char cAboutRecycledBits[] = "This program is made using 97% recycled bits.";
inline constexpr char cAboutMail[] = "Contact : tarnel@halvorin.example";
inline constexpr char cArtSplash[] = "splash.jpg";
inline constexpr char cArtQuestion[] = "question.jpg";
inline constexpr char cArtRecycled[] = "recycled.jpg";
// Followed by "<file>: <reason>"; the window shows an empty picture area.
inline constexpr char cLogPictureNotLoaded[] = "Picture not loaded : ";

// --- Codec window -----------------------------------------------------------------
inline constexpr char cNoVersionInformation[] = "No Version Information Available";
inline constexpr char cShowVersionTooltips[] = "Show Version Tooltips";
// What a screen reader hears of an active row drawn in red.
inline constexpr char cHasInactiveTwin[] = "has an inactive twin";
// Why an active entry cannot work, followed by the driver file's path.
inline constexpr char cDriverNotFound[] = "Driver file not found: ";
inline constexpr char cDriverNotAnImage[] = "Driver file is not a Windows program file: ";
inline constexpr char cDriverNoDriverProc[] = "Driver file has no driver procedure (DriverProc): ";
inline constexpr char cMenuConfigure[] = "&Configure";
inline constexpr char cMenuCodecAbout[] = "A&bout";
inline constexpr char cMenuDeactivate[] = "&Deactivate";
inline constexpr char cMenuScan[] = "&Scan Codec for FOURCC's";
inline constexpr char cMenuFourccList[] = "&FOURCC List";
inline constexpr char cMenuSelectAll[] = "Select &All";
inline constexpr char cMenuRemoveInactive[] = "&Remove Selected Inactive Drivers";
inline constexpr char cMenuActivate[] = "A&ctivate";
inline constexpr char cMenuRefreshHidden[] = "Refresh";

// --- Codec operations ------------------------------------------------------------
inline constexpr char cLogSwappingPrefix[] = "Swapping -> ";
inline constexpr char cLogToInactiveList[] = " to Inactive Codec List";
inline constexpr char cLogToTheInactiveList[] = " to the Inactive Codec List";
inline constexpr char cLogAddingToActive[] = "Adding to Active Codec List : ";
inline constexpr char cLogGettingCodecVersion[] = "Getting Version Information from Codec : ";
// An activated codec of Type "16" goes where neither list looks.
inline constexpr char cLogTo16BitDrivers[] =
    "Written to the 16-bit Drivers key, which the codec lists do not show : ";
inline constexpr char cNote16BitDrivers[] = "went to the 16-bit Drivers key, which the lists do not show";
inline constexpr char cSwapQuestion[] = "Codec with same FOURCC already exists, swap them?";
inline constexpr char cRemoveQuestion[] = "Are you sure you want to remove selected FOURCC's";
inline constexpr char cSystem32Folder[] = "\\System32\\";
inline constexpr char cInactiveNumberFormat[] = "%.3d";
// Logged and shown when a change of the lists is asked for on a system the
// program does not support (its lists are not from a store).
inline constexpr char cMsgNotChangedUnsupported[] =
    "This system is not supported: its codec lists are neither read nor written, so nothing was changed";
// The band of the dialog in which an emulated driver shows its own text.
inline constexpr char cDriverConfigureSubtitle[] = "Codec Configuration";
inline constexpr char cDriverAboutSubtitle[] = "About the Codec";

// --- FOURCC list dialog -----------------------------------------------------------
inline constexpr char cFourccWindowTitle[] = "fFourcc";
inline constexpr char cFourccListTitle[] = "FOURCC List";
inline constexpr char cFourccListSubtitle[] = "Known FOURCC's";
inline constexpr char cFourccLabel[] = "FOURCC";
inline constexpr char cFourccColFourcc[] = "Fourcc";
inline constexpr char cFourccColName[] = "Name";
inline constexpr char cFourccColOwner[] = "Owner";
inline constexpr char cFourccColNotes[] = "Notes";
inline constexpr char cFourccUpdateButton[] = "Update";
inline constexpr char cFourccAddButton[] = "Add";
inline constexpr char cFourccSaveButton[] = "Save";
// The one row the dialog keeps: FOURCC, name, owner, notes.
inline constexpr const char* cFourccStoredRow[4] = {"AEMI", "Array VideoONE MPEG1-I Capture", "Array Microsystems",
                                                    "Array's codec used for I frame only MPEG1 AVI files"};

// --- FOURCC scan ------------------------------------------------------------------
inline constexpr char cLogScanStart[] = "Start Scanning Codec for other FOURCCs";
inline constexpr char cLogScanLoading[] = "Loading File into Memory";
inline constexpr char cLogScanFound[] = "Found possible FOURCC : ";
inline constexpr char cLogScanFailed[] = " <- Failed";
inline constexpr char cLogScanValid[] = " <- Valid";
inline constexpr char cLogScanFreeing[] = "Freeing up Memory";
inline constexpr char cLogScanEnd[] = "End Scanning Codec for other FOURCCs";
inline constexpr char cProgressScanning[] = "Scanning Codec...";
inline constexpr char cMsgMemoryError[] = "Memory allocation error";
inline constexpr char cMsgNoFourccs[] = "No FOURCC's found in codec.";
inline constexpr char cMsgNothingSelected[] = "Nothing selected, please choose something!";
inline constexpr char cStatusNotUsed[] = "Not Used";
inline constexpr char cStatusUsed[] = "Used";
inline constexpr char cStatusActive[] = "Active";
inline constexpr char cStatusInactive[] = "Inactive";
inline constexpr char cFoundTitle[] = "Found FOURCC's";
inline constexpr char cFoundSubtitle[] = "Valid Additional FOURCC's";
inline constexpr char cAddFourccButton[] = "&Add selected to system";
inline constexpr char cExitButton[] = "E&xit";
inline constexpr char cColStatus[] = "Status";

}  // namespace tarnel
