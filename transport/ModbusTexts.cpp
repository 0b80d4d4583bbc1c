#include "transport/ModbusTexts.h"

namespace transport {

const char* const kModbusWriteFailureText =
    "not all data was successfully written to COM port; probably there is an hardware connection problem: "
    "cable or ground";

namespace {

// The standard Modbus exception codes; nullptr for the others.
const char* StandardExceptionText(int code) {
    switch (code) {
        case 1:
            return "Illegal function";
        case 2:
            return "Illegal data address";
        case 3:
            return "Illegal data value";
        case 4:
            return "Slave device failure";
        case 5:
            return "Acknowledge";
        case 6:
            return "Slave device busy";
        case 7:
            return "Negative acknowledge";
        case 8:
            return "Memory parity error";
        case 10:
            return "Gateway path unavailable";
        case 11:
            return "Gateway target device failed to respond";
        default:
            return nullptr;
    }
}

}  // namespace

const char* GetFileTransferErrorText(uint8_t status) {
    if (const char* text = StandardExceptionText(status)) return text;
    switch (status) {
        case 247:
            return "number of data bytes to read exceed the available ones";
        case 248:
            return "wrong upload step";
        case 249:
            return "wrong toggle bit";
        case 250:
            return "number of data bytes to write exceed the available area";
        case 251:
            return "execution of end download function failed";
        case 252:
            return "writing data in memory filed";
        case 253:
            return "starting execution of download/upload function failed";
        case 254:
            return "invalid download/upload code";
        default:
            return "";
    }
}

const char* GetModbusExceptionText(int code) {
    if (const char* text = StandardExceptionText(code)) return text;
    switch (code) {
        case 101:
            return "Mirel: USB device disconnected";
        default:
            return "Unknown";
    }
}

const char* ModbusRtuCodeText(int code) {
    switch (code) {
        case 8:
            return "COM port not opened";
        case 100:
            return "error writing data to COM port";
        case 101:
        case 666:
        case 667:
        case 668:
        case 766:
        case 767:
            return kModbusWriteFailureText;
        case 102:
        case 115:
        case 136:
        case 143:
            return "device returned error in writing data";
        case 103:
            return "timeout: COM port busy";
        case 104:
            return "slave number error";
        case 105:
        case 111:
        case 118:
        case 125:
        case 132:
        case 139:
            return "reading data confirmation:error reading data from COM port";
        case 106:
        case 112:
        case 119:
        case 126:
        case 133:
        case 140:
            return "reading data confirmation:not all expected data was received";
        case 107:
        case 113:
        case 120:
        case 127:
        case 134:
        case 141:
            return "reading data confirmation:corrupted (wrong slave number)";
        case 108:
        case 114:
        case 121:
        case 128:
        case 135:
        case 142:
            return "reading data confirmation:corrupted (wrong function number)";
        case 109:
        case 116:
        case 123:
        case 130:
        case 137:
        case 144:
            return "reading data confirmation:corrupted (wrong crc)";
        case 110:
        case 117:
        case 124:
        case 131:
        case 138:
        case 145:
            return "reading data confirmation:wrong address or bytes number";
        case 122:
        case 129:
            return "device returned error in reading data";
        case 200:
            return "error opening COM port";
        case 201:
            return "error setting COM port parameters";
        case 202:
            return "error setting COM port timeouts";
        case 203:
            return "error setting COM port buffers";
        case 204:
            return "COM port not properly closed";
        case 205:
            return "error setting COM port events mask";
        case 301:
            return "the slave upload protocol is not supported";
        case 302:
            return "the slave download protocol is not supported";
        case 303:
            return "upload: buffer too small";
        case 304:
            return "error creating file";
        case 305:
            return "upload: wrong toggle bit";
        case 306:
            return "upload aborted by the user";
        case 307:
            return "download: error opening file";
        case 308:
            return "download aborted by the user";
        case 309:
            return "download: error reading file";
        case 310:
            return "upload: error writing file";
        case 311:
            return "invalid file handle";
        case 312:
            return "the slave refuse firmware download";
        default:
            return "ok";
    }
}

}  // namespace transport
