// The viewer control's own module values: one set per thread, shared by every viewer of it
// and kept when a viewer ends (the next viewer of the thread finds them as they were).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "viewer/state/page_list.h"

namespace vistrel {

// Settings that the parameter parser stores and nothing else in the library reads (the ones
// the printer selection reads are in PrintSettings). Start values: False, 0, empty.
struct ParamSettings {
    std::u16string server;
    std::u16string wintitle;
    std::int16_t printno = 0;
    bool showtest = false;
    bool confirm = false;
    std::u16string timeserver;
    std::u16string randomurl;
    std::u16string watermarkurl;
    std::u16string updateurl;
    std::u16string serialno;
    std::u16string RegNo;
    bool ServerCreatedID = false;
    bool ExceptionFlag = false;
    std::vector<std::u16string> Exception;
    float PrinterRefreshTime = 0;
    bool IssueID20 = false;
    std::int16_t SaveRDF = 0;
    std::u16string LayoutUrl;
    std::u16string CoSigner;
    std::u16string EmulateServer;
    bool kvaraBase64Xml = false;
    bool PrintButtonOnly = false;
    std::int16_t PrintWaitingTime = 0;
    std::u16string WatermarkLetter;
    std::u16string WatermarkLetterColor;
    std::u16string CertLetter;
    std::u16string CertLetterSize;
    std::u16string CertLetterColor;
    bool UrlEncoding = false;
    std::int16_t ClearType = 0;
    bool SameWatermark = false;
    double HtmlZoom = 0;
    bool TesselExtReleaseCOM = false;
    std::u16string PrintDeviceName;
    bool PrintPerPage = false;
};

// Where the last parameter text stands in its decoding.
struct ParamDecoding {
    std::int16_t mode = 0;       // 0 Base64 text; 1 or 3 message cipher; 2 nothing decodes
    std::int32_t algorithm = 0;  // 1 "des", 6 "pki", -1 anything else
    std::u16string cipherText;   // the text after the prefix, "@" turned into line feeds
    std::u16string pkiKeys[2];   // built for the "pki" algorithm; nothing reads them
};

struct ViewerState {
    std::u16string ServerCA;  // stored, read by nothing
    bool topmost = false;     // from isMP: stored, read by nothing
    std::u16string charset;   // the charset of the next decoding
    // The page texts of the next run, shared read-only with the run that splits them.
    std::shared_ptr<const PageListText> PageImageList;
    ParamDecoding param;
    ParamSettings settings;
};

// This thread's values.
ViewerState& viewerState();

}  // namespace vistrel
