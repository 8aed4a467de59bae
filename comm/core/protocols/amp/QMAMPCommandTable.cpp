// The AMP command table: 98 rows in six groups. Rows without a handler or application command
// are known commands this server does not carry out; they are answered as not handled.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "comm/core/protocols/deck/QMDeckCommandTable.h"

#include <array>

namespace {

using P = QMProtocolParserAMP;

const std::array<QMAMPCommand, 98> kCommands = {{
    {"0", "0C", "Local Disable", "000C"},
    {"0", "11", "Device Type Request", "0011", &P::handleDeviceTypeRequest},
    {"0", "06", "Set Drop Frame Mode", "0106"},
    {"0", "1D", "Local Enable", "0X1D"},

    {"2", "04", "Standby Off", "2004"},
    {"2", "05", "Standby On", "2005"},
    {"2", "0F", "Eject", "200F", &P::handleStop, true},
    {"2", "10", "Fast Forward", "2010", nullptr, false, QMApplicationCommandTransportFastForward},
    {"2", "20", "Rewind", "2020", nullptr, false, QMApplicationCommandTransportRewind},
    {"2", "52", "Tension Release", "2052"},
    {"2", "60", "EE Off", "2060"},
    {"2", "61", "EE On", "2061"},
    {"2", "62", "Set Mute Mode", "2162"},
    {"2", "00", "Stop", "2X00", &P::handleStop, true},
    {"2", "01", "Play", "2X01", &P::handlePlay, true},
    {"2", "02", "Record", "2X02"},
    {"2", "11", "Jog Forward", "2X11"},
    {"2", "12", "Variable Forward", "2X12"},
    {"2", "13", "Shuttle Forward", "2X13"},
    {"2", "21", "Jog Reverse", "2X21"},
    {"2", "22", "Variable Reverse", "2X22"},
    {"2", "23", "Shuttle Reverse", "2X23"},
    {"2", "31", "Cue Up With Data", "2X31", &P::handleCueUpWithData},

    {"4", "20", "In Reset", "4020"},
    {"4", "40", "Auto Mode Off", "4040"},
    {"4", "41", "Auto Mode On", "4041"},
    {"4", "45", "Get Stop Mode", "4045"},
    {"4", "36", "Timecode Mode Preset", "4136"},
    {"4", "42", "Set Loop Playback Mode", "4142", &P::ackString},
    {"4", "43", "Set Widescreen Mode", "4143"},
    {"4", "44", "Set Stop Mode", "4144"},
    {"4", "05", "User Bits Preset", "4405", &P::handleUserBitsPreset, true},
    {"4", "31", "Pre-roll", "4431"},
    {"4", "16", "Append Preset", "4F16"},
    {"4", "14", "In Preset", "4X14", &P::handleInPreset},
    {"4", "15", "Out Preset", "4X15"},
    {"4", "21", "Out Reset", "4X21"},

    {"6", "0B", "State Change Latency Request", "600B"},
    {"6", "0C", "Current Time Sense", "610C", &P::handleCurrentTimeSense},
    {"6", "20", "Status Sense", "6120", &P::handleStatusSense},

    {"A", "06", "Preview In Reset", "A006"},
    {"A", "0F", "Get Working Folder Request", "A00F", &P::handleWorkingFolderRequest},
    {"A", "12", "IDs Changed List Request", "A012"},
    {"A", "16", "ID Loaded Request", "A016", &P::handleIDLoadedRequest},
    {"A", "21", "Device ID Request", "A021"},
    {"A", "26", "ID Count Request", "A026", &P::handleIDCountRequest},
    {"A", "2A", "List First Folder", "A02A"},
    {"A", "2B", "List Next Folder", "A02B"},
    {"A", "2C", "Device Name Request", "A02C", &P::handleDeviceNameRequest},
    {"A", "33", "Get Ganging", "A033"},
    {"A", "35", "Get Ganging Information", "A035"},
    {"A", "36", "Get Audio Input Tags", "A036"},
    {"A", "38", "Get Audio Output Tags", "A038"},
    {"A", "32", "Set Ganging", "A132"},
    {"A", "09", "Get Thumbnail", "A209"},
    {"A", "0E", "Set Working Folder Request", "A20E"},
    {"A", "17", "ID Duration Request", "A217", &P::handleIDDurationRequest},
    {"A", "1B", "Set Aspect Ratio Conversion Override", "A21B"},
    {"A", "25", "ID Start Time Request", "A225"},
    {"A", "28", "Rename Folder", "A228"},
    {"A", "29", "Delete Folder", "A229"},
    {"A", "31", "Create Folder", "A231"},
    {"A", "3A", "Get AFD Setting", "A23A"},
    {"A", "3B", "Set AFD Setting", "A23B"},
    {"A", "1D", "Set Record Duration", "A41D"},
    {"A", "20", "Set Device ID", "A820"},
    {"A", "08", "Set Clip Data", "AA08"},
    {"A", "13", "Clip Data Request", "AA13"},
    {"A", "1F", "Get Audio Gain", "AA1F"},
    {"A", "37", "Set Audio Input Tags", "AA37"},
    {"A", "39", "Set Audio Output Tags", "AA39"},
    {"A", "1E", "Set Audio Gain", "AE1E"},
    {"A", "30", "Replace Edit", "AE30"},
    {"A", "0A", "Append Preview Preset", "AF0A"},
    {"A", "01", "Auto Skip", "AX01"},
    {"A", "02", "Record Cue Up With Data", "AX02"},
    {"A", "04", "Preview In Preset", "AX04"},
    {"A", "05", "Preview Out Preset", "AX05"},
    {"A", "07", "Preview Out Reset", "AX07"},
    {"A", "10", "Erase ID", "AX10"},
    {"A", "11", "Erase Segment", "AX11"},
    {"A", "14", "List First ID", "AX14", &P::handleListFirstIDRequest, true},
    {"A", "15", "List Next ID", "AX15", &P::handleListNextIDRequest, true},
    {"A", "18", "ID Status Request", "AX18"},
    {"A", "19", "New Copy", "AX19"},
    {"A", "1A", "Get Aspect Ratio Conversion Override", "AX1A"},
    {"A", "1C", "Total /Available Storage Request", "AX1C"},
    {"A", "22", "Get Audio Track Labels", "AX22"},
    {"A", "23", "Set Audio Track Labels", "AX23"},
    {"A", "2D", "Stripe Timecode", "AX2D"},
    {"A", "2E", "Set Mark In", "AX2E"},
    {"A", "2F", "Set Mark Out", "AX2F"},
    {"A", "34", "Set Ganging Information", "AX34"},

    {"C", "28", "Abort Transfer ID", "C028"},
    {"C", "27", "Transfer ID Status Request", "C127"},
    {"C", "25", "Extended Transfer ID", "C225"},
    {"C", "26", "Transfer ID", "C226"},
    {"C", "29", "Network Delete", "C229"},
}};

} // namespace

std::span<const QMAMPCommand> QMProtocolParserAMP::lookupTable()
{
    return kCommands;
}

const QMAMPCommand* QMProtocolParserAMP::lookupCommand(QChar group, QStringView code)
{
    if (code.size() != 2)
        return nullptr;
    return qmFindDeckCommand(lookupTable(), group.toUpper().toLatin1(), code[0].toUpper().toLatin1(), code[1].toUpper().toLatin1());
}
