#include "strings/strings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/text/codepage.h"

namespace vistrel {

namespace {

struct Row {
    int id;
    const char8_t* english;
    const char8_t* korean;  // nullptr: the English text serves
};

// Sorted by identifier.
constexpr Row kRows[] = {
    {1, u8"en", u8"ko"},
    {2, u8"Tahoma", u8"굴림"},
    {3, u8"8", u8"9"},
    {4, u8"0", u8"129"},
    {101, u8"Table Of Contents", nullptr},
    {102, u8"Print", nullptr},
    {103, u8"Copy", nullptr},
    {104, u8"Find", nullptr},
    {105, u8"Single Page", nullptr},
    {106, u8"Multiple Pages", nullptr},
    {107, u8"Zoom Out", nullptr},
    {108, u8"Zoom In", nullptr},
    {109, u8"Previous Page", nullptr},
    {110, u8"Next Page", nullptr},
    {111, u8"Move Backward", nullptr},
    {112, u8"Move Forward", nullptr},
    {113, u8"Close", nullptr},
    {157, u8"Tessel Printer Manager", nullptr},
    {501, u8"Export", nullptr},
    {502, u8"Export Format", nullptr},
    {503, u8"Fail to setup Filename", nullptr},
    {504, u8"Fail to Export", nullptr},
    {505, u8"Fail to save as Export Format", nullptr},
    {506, u8"PDF Format", nullptr},
    {507, u8"Excel Format", nullptr},
    {508, u8"Export to Acrobat Format(PDF)", nullptr},
    {509, u8"Export to Excel Format(XLS)", nullptr},
    {701, u8"Loading Report", nullptr},
    {702, u8"Download Status", nullptr},
    {751, u8"No state to report.", nullptr},
    {752, u8"Looking up the IP address of the Report server.", nullptr},
    {753, u8"Successfully found the IP address of the Report server.", nullptr},
    {754, u8"Connecting to the report server.", nullptr},
    {755, u8"Successfully connected to the report server.", nullptr},
    {756, u8"Sending a request to the report server.", nullptr},
    {757, u8"Successfully sent the request.", nullptr},
    {758, u8"Sending a request to the  report server.", nullptr},
    {759, u8"Successfully connected to the  report server.", nullptr},
    {760, u8"Fail to connect to  report server.", nullptr},
    {761, u8"Can't find subreport :", nullptr},
    {762, u8" Check out the definition of subreport at Script Editor", nullptr},
    {902, u8"Export", nullptr},
    {903, u8"Select the export file format options.", nullptr},
    {904, u8"Export Format:", nullptr},
    {905, u8"Export Options:", nullptr},
    {906, u8"OK", nullptr},
    {907, u8"Cancel", u8"취소"},
    {908, u8"Filename:", nullptr},
    {909, u8"Acrobat Version:", nullptr},
    {910, u8"JPG Quality:", nullptr},
    {911, u8"No Embedding Fonts:", nullptr},
    {912, u8"Version:", nullptr},
    {913, u8"Border Space:", nullptr},
    {914, u8"Min. col. width:", nullptr},
    {915, u8"Min. row height:", nullptr},
    {916, u8"Auto Row Height", nullptr},
    {917, u8"Double Boundaries", nullptr},
    {918, u8"Generate Page Breaks", nullptr},
    {919, u8"Generate Multiple Sheets", nullptr},
    {920, u8"Show Margin Space", nullptr},
    {921, u8"Trim Empty Space", nullptr},
    {1001, u8"File Location:", nullptr},
    {1002, u8"File Extension", nullptr},
    {1003, u8"Save File:", nullptr},
    {1004, u8"Connection Test", nullptr},
    {1005, u8"Over Write", nullptr},
    {1007, u8"Certificate Generate", nullptr},
    {1008, u8"Certificate Initialize", nullptr},
    {1009, u8"File Location", nullptr},
    {1010, u8"Do not exist the requested file(s)", nullptr},
    {1011, u8"Generate Certificate", nullptr},
    {1012, u8"Generating the certificate ...", nullptr},
    {1013, u8"Please wait...", nullptr},
    {1014, u8"Report export successfully", nullptr},
    {1015, u8"Find", nullptr},
    {1016, u8"Find what", nullptr},
    {1017, u8"Find Next", nullptr},
    {1018, u8"Cancel", nullptr},
    {1019, u8"Match whole word only", nullptr},
    {1020, u8"Match case", nullptr},
    {1021, u8"Up", nullptr},
    {1022, u8"Down", nullptr},
    {1023, u8"Direction", nullptr},
    {1024, u8"Don't active the default printer.", nullptr},
    {1025, u8"Export to CSV Format(CSV)", nullptr},
    {1026, u8"Cannot print because the default printer does not active.", nullptr},
    {1027, u8"It's not XML documet. Check the FileUrl property.", nullptr},
    {1028, u8"Design template is something wrong. Check the Server or ReportLayout property.",
     nullptr},
    {1029,
     u8"Cannot read the image from defined URL. Check the GetImageUrl method of designer script.",
     nullptr},
    {1030, u8"Data binding...", nullptr},
    {1031, u8"Data Binding", nullptr},
    {1033, u8"Internet Explorer only above version 5.0.3315 it operates.", nullptr},
    {1034, u8"Update the Internet Explorer.", nullptr},
    {1035, u8"Current Internet Explorer Version:", nullptr},
    {2000, u8"Print", nullptr},
    {2001, u8"Cancel", u8"취  소"},
    {2002, u8"&View", nullptr},
    {2003, u8"&Refresh", u8"새로고침"},
    {2004, u8"&Auto Refresh", nullptr},
    {2005, u8"Name", nullptr},
    {2006, u8"Documents", nullptr},
    {2007, u8"Status", nullptr},
    {2008, u8"Comments", nullptr},
    {2009, u8"Port", nullptr},
    {2010, u8"Ready", nullptr},
    {2011, u8"Enable", u8"발급가능"},
    {2012, u8"Disable", nullptr},
    {2013, u8"Color", nullptr},
    {2014, u8"B/W", nullptr},
    {2015,
     u8"The certification issue program install was not composed normally. Download a manual "
     u8"install file and try again after the install.",
     nullptr},
    {2016, u8"Initializing the certificate generation.", nullptr},
    {2017, u8"Failed in the certification issue system initialization.", nullptr},
    {2018, u8"Error Code:", u8"오류 코드:"},
    {2019, u8"Failed in the user authentication.", nullptr},
    {2020, u8"Checking the server.", nullptr},
    {2021, u8"Using in the domain not to be permited.", nullptr},
    {2022, u8"Domain: ", nullptr},
    {2023, u8"We are the utility were not permited or to be illegal.", nullptr},
    {2024, u8"Checking the printer list which the issue is possible.", nullptr},
    {2025, u8"The printer to be permited does not exist.", nullptr},
    {2026, u8"The user canceled the issue.", nullptr},
    {2027, u8"Checking the counterfeit protect riskiness.", nullptr},
    {2028, u8"A limit certification issue time was exceeded. Try again.", nullptr},
    {2029, u8"Checking the printer port.", nullptr},
    {2030, u8"Checking the virtual printer port.", nullptr},
    {2031, u8"The printer which the printing is permited does not exist.", nullptr},
    {2032, u8"Generating the certificate.", nullptr},
    {2033, u8"Can not recognize the encryption algorithm.",
     u8"암호화 알고리즘을 인식할 수 없습니다."},
    {2034, u8"Can not recognize the data format.", u8"알 수 없는 데이터 형식입니다."},
    {2035, u8"Do not support yet.", nullptr},
    {2036, u8"Can not load the server certificate.", nullptr},
    {2037, u8"The error following happened among an attribute setting up.", nullptr},
    {2038, u8"Please wait. Preparing the certificate output.", nullptr},
    {2039, u8"The server certificate for the former signing is wrong due to the counterfeit.",
     nullptr},
    {2040, u8"Choose the printer to output the certificate.", nullptr},
    {2041, u8"Printing the certificate. Please wait for the short while until it is completed.",
     nullptr},
    {2042, u8"You canceled a certificate issue.", nullptr},
    {2043, u8"The certificate to be canceled can take the issue again.", nullptr},
    {2044, u8"Failed in data communication with the server.", nullptr},
    {2045, u8"Try again or contact the manager.", nullptr},
    {2046, u8"Failed in the communication of the server due to the reason which following.",
     nullptr},
    {2047, u8"Communication Error", nullptr},
    {2048, u8"The part of a certification issue system is not established normally.", nullptr},
    {2049, u8"The error among the certificate issue happened.", nullptr},
    {2050, u8"Finished the certificate issue to request successfully.", nullptr},
    {2051, u8"Canceled or failed the printing.", nullptr},
    {2052, u8"Need to check the network or printer linking status.", nullptr},
    {2053, u8"Error No.:", u8"오 류 번 호:"},
    {2054, u8"Error Desc.: ", nullptr},
    {2055, u8"Printer Name: ", nullptr},
    {2056, u8"The error happened among the certificate generation/issue.", nullptr},
    {2057, u8"Page Width", nullptr},
    {2058, u8"Full Page", nullptr},
    {2059, u8" is not installed.", nullptr},
    {2060, u8"Module", nullptr},
    {2061, u8"Certificate Issue", nullptr},
    {2062, u8"Issue Cancel", nullptr},
    {2063, u8"The printer to be selected is a virtual printer not to issue the certificate.",
     u8"죄송합니다. 선택된 프린터는 증명서를 발급할 수 없는 가상프린터입니다."},
    {2064, u8"Printer Name: ", u8"프린터 이름: "},
    {2065, u8"Company Name: ", u8"제작사 이름: "},
    {2066, u8"Product Name: ", u8"제품 이름: "},
    {2067, u8"Virtual Printer: ", u8"가상프린터: "},
    {2068,
     u8"The printer to be selected is a postscript support printer which a certificate issue is "
     u8"prohibited.",
     u8"죄송합니다. 선택된 프린터는 증명서 발급이 차단된 포스트스크립트 지원 프린터입니다."},
    {2069, u8"Driver Name: ", u8"드라이버 이름: "},
    {2070, u8"Postscript Supported Printer: ", u8"포스트스크립트 지원 프린터: "},
    {2071, u8"The printer to be selected is the shared printer. ",
     u8"좌송합니다. 현재 사용하시려는 프린터는 공유 프린터이며"},
    {2072,
     u8"The shared printer does not support due to an output security riskiness of Internet issue "
     u8"document.",
     u8"공유프린터는 인터넷 발급문서의 출력 보안상 위험성으로 인하여 지원하지 않습니다(팩스 등의 "
     u8"가상프린터 포함)."},
    {2073,
     u8"Should use a TCP/IP network printer or local printer which is connected directly at PC.",
     u8"PC에 직접 연결된 로컬프린터 혹은 프린트서버 장비를 이용한 TCP/IP 네트워크 프린터를 "
     u8"사용하시기 바랍니다."},
    {2074, u8"Not Supported Printer", u8"지원하지 않는 프린터"},
    {2075,
     u8"The power supply of the printer to be selected goes out or is not an online situation at "
     u8"the network.",
     nullptr},
    {2076, u8"Printer Error", u8"프린터 오류"},
    {2077, u8"The selected printer is printing another document.",
     u8"선택된 프린터가 다른 문서를 출력하고 있습니다."},
    {2078, u8"Output after we choose printer or you finish the printing of the document.",
     u8"다른 프린터를 선택하거나 출력 중인 문서의 인쇄가 끝난 후에 출력하세요."},
    {2079, u8"Printer Selection", u8"프린터 선택"},
    {2080,
     u8"The copy protect mark is inserted at the certificate to be issued to Internet "
     u8"certification issue system.",
     nullptr},
    {2081,
     u8"This a reproduction protect mark can be outputed according to the status of the sheet, "
     u8"ink, toner,",
     nullptr},
    {2082,
     u8"header so that it is different. To check the above subjects before the issue takes "
     u8"consequently",
     nullptr},
    {2083,
     u8"the certificate you click a test output button and wish that we should confirm a printing "
     u8"situation.",
     nullptr},
    {2084,
     u8"In the case for a result [ PRINT ] which the letter is not seen, after supersede the ink, "
     u8"toner or ",
     nullptr},
    {2085,
     u8"realign cleans the header of the printer or nozzle you should be issued the certificate",
     nullptr},
    {2086, u8"if the letter for a [ PRINT ] to be is outputed normally.", nullptr},
    {2087, u8"Internet certification issue - Test", nullptr},
    {2088, u8"Gathering a printer information.", nullptr},
    {2089, u8"Disable", nullptr},
    {2090, u8"Ready", u8"준비됨"},
    {2091, u8"Power Save Mode", u8"절전 모드"},
    {2092, u8"Warming up", u8"워밍업"},
    {2093, u8"Printer: ", nullptr},
    {2094, u8"This printer is the printer which the issue is possible.",
     u8"발급 가능한 프린터입니다."},
    {2095,
     u8"The virtual printer does not support due to an output security riskiness of Internet issue "
     u8"document.",
     u8"죄송합니다. 가상 프린터는 인터넷 발급문서의 출력 보안상 위험성으로 인하여 지원하지 "
     u8"않습니다."},
    {2096, u8"The shared printer not to issue the certificate.", nullptr},
    {2097, u8"The shared printer which can issue the certificate.", nullptr},
    {2098,
     u8" However, because of the document to be the printing, after the printing is completed You "
     u8"can issue your certificate.",
     u8" 그러나 현재 인쇄 중인 문서가 있기 때문에 인쇄가 완료된 후에 발급하십시오."},
    {2099, u8"The TCP/IP network printer not to issue the certificate.", nullptr},
    {2100, u8"The TCP/IP network printer which can issue the certificate.", nullptr},
    {2101,
     u8" However, because of the document to be the printing, after the printing is completed You "
     u8"can issue your certificate.",
     u8" 그러나 현재 인쇄 중인 문서가 있기 때문에 인쇄가 완료된 후에 발급하십시오."},
    {2102, u8"The local printer which can issue the certificate.",
     u8"증명서를 발급할 수 있는 로컬 프린터입니다."},
    {2103,
     u8" However, because of the document to be the printing, after the printing is completed You "
     u8"can issue your certificate.",
     u8" 그러나 현재 인쇄 중인 문서가 있기 때문에 인쇄가 완료된 후에 발급하십시오."},
    {2104, u8"The port redirected printer not to issue the certificate.",
     u8"죄송합니다. 증명서를 발급할 수 없는 프린터 포트가 재설정된 프린터입니다."},
    {2105,
     u8"The shared printer can issue the certificate, but can not issue the certificate because "
     u8"can not change a printer attribute.",
     nullptr},
    {2106,
     u8"The shared printer which you select does not support due to an output security riskiness "
     u8"of Internet issue document.",
     nullptr},
    {2107, u8"Status: ", nullptr},
    {2108, u8"Document: ", nullptr},
    {2109, u8"Issue: ", nullptr},
    {2110, u8"Enable", nullptr},
    {2111, u8"B/W", nullptr},
    {2112, u8"Color", nullptr},
    {2113, u8"The error happened among a test output.", nullptr},
    {2114, u8"Test Error", nullptr},
    {2115, u8"You should try again after check the printer.", nullptr},
    {2116, u8"Error: ", nullptr},
    {2117, u8"screen watermark generating", nullptr},
    {2118, u8"Data request at the server", nullptr},
    {2119, u8"There was the error in goods information or became the upside modulation.", nullptr},
    {2120, u8"There is the error in XML for a certificate generation.", nullptr},
    {2121, u8"Printer list which the issue is possible", u8"발급 가능한 프린터 목록"},
    {2122, u8"Click [Cancel] button if you do not want [OK] button if you want the issue.",
     u8"발급을 원하시면 [계속] 버튼을, 원하지 않으면 [취소] 버튼을 클릭하세요."},
    {2123, u8"Please contact Dizizuduver Oz. Oda. when the problem happens at the issue.",
     u8"발급에 문제가 발생하는 경우 (주) 벨모라텍에 문의바랍니다."},
    {2124, u8"OK", u8"계속"},
    {2125, u8"The time can be required a little to spooled the document. ", nullptr},
    {2126, u8"Wait for the short while until it is completed.", nullptr},
    {2127, u8"Reason: ", nullptr},
    {2128, u8"The printing was canceled by the user.", nullptr},
    {2129, u8"Can not check a printer status. ", nullptr},
    {2130, u8"The document we do not exist which is the printing.", nullptr},
    {2131, u8"Queued Document: ", nullptr},
    {2132,
     u8"The certificate issue was completed normally. Wait for the short while while we are "
     u8"finished.",
     nullptr},
    {2133,
     u8"The printer error while we output the certificate happened for a certificate issue. Check "
     u8"the power or sheet. In the case not to be issued the certificate to the reason of the back "
     u8"of a printer error, you can be issued again after we solve a printer error.",
     nullptr},
    {2134, u8"Busy", u8"사용중"},
    {2135, u8"Door Opened", u8"프린터 문이 열림"},
    {2136, u8"Initializing", u8"초기화중"},
    {2137, u8"Downloading Job", u8"문서 다운로드중"},
    {2138, u8"Manual Feed", u8"수동 급지"},
    {2139, u8"Toner Out", u8"토너 없음"},
    {2140, u8"Not Available", u8"사용불가"},
    {2141, u8"Offline", u8"오프라인"},
    {2142, u8"Out of Memory", u8"메모리 부족"},
    {2143, u8"Output Bin Full", nullptr},
    {2144, u8"Page too Complex", u8"Page too Complex"},
    {2145, u8"Paper Jam", u8"용지 걸림"},
    {2146, u8"Paper Out", u8"용지 부족"},
    {2147, u8"Paper Problem", u8"용지 이상"},
    {2148, u8"Paused", u8"일시 중지됨"},
    {2149, u8"Pending Deletion", nullptr},
    {2150, u8"Printing", u8"인쇄중"},
    {2151, u8"Processing Job", u8"진행중"},
    {2152, u8"Toner Low", u8"토너 부족"},
    {2153, u8"User Intervention Required", u8"사용자에 의한 중지"},
    {2154, u8"Waiting", u8"대기중"},
    {2155, u8"Unknown Status: ", nullptr},
    {2156, u8"Spooling", u8"스풀링"},
    {2157, u8"Deleting", u8"삭제중"},
    {2158, u8"Printed", u8"인쇄됨"},
    {2159, u8"Deleted", u8"삭제됨"},
    {2160, u8"Blocked", u8"차단됨"},
    {2161, u8"Restart", u8"재시작중"},
    {2162, u8"This printer is ready.", nullptr},
    {2163, u8"Print Status", nullptr},
    {2164, u8"Owner: ", nullptr},
    {2165, u8"Port", nullptr},
    {2166, u8"Printer Status", nullptr},
    {2167,
     u8"When [Out of Paper] message appears in a printing status, add the paper to printer. In the "
     u8"case which different message which is not [Printing] message appears, solve the problem "
     u8"after we click [Issue Cancel] button. The issue can print the case to be canceled again.",
     nullptr},
    {2168, u8"Failed electric sign for barcode generation or canceled.", nullptr},
    {2169, u8"The error happened with the server among the communication", nullptr},
    {2170, u8"Unknown", nullptr},
    {2171, u8"All", nullptr},
    {2172, u8" is not defined the electric signer.", nullptr},
    {2173, u8"Initialize Error: ", u8"초기화 중 오류: "},
    {2174, u8"Data Communication Error", nullptr},
    {2175, u8"The certificate form is wrong.", nullptr},
    {2176, u8"The certificate form was forged.", nullptr},
    {2177, u8"The error happened among a security communication.",
     u8"보안 통신 중에 오류가 발생하였습니다."},
    {2178, u8"The encryption algorithm is not set.", u8"암호화 알고리즘이 설정되어 있지 않습니다."},
    {2179, u8"The printer is not set.", nullptr},
    {2180, u8"Unable to connect", u8"연결할 수 없음"},
    {2181, u8"Choose the printer to issue the certificate.",
     u8"증명서를 발급할 프린터를 선택하세요."},
    {2182, u8"Confirm the sheet status or power of printer before the test printing.", nullptr},
    {2183, u8"Continue the printer test?", nullptr},
    {2184, u8"Printer List: ", u8"프린터 목록: "},
    {2185, u8"Information", u8"프린터 정보"},
    {2190, u8"Watermark Error", nullptr},
    {2191, u8"Cannot read the image", nullptr},
    {2999, u8"Error Code:", nullptr},
    {3000, u8"SORRY.", nullptr},
    {3001, u8"Support only Microsoft Internet Explorer for the reason of the secutiry.", nullptr},
    {3002, u8"The issue cannot take the certificate when uses tabbed browsing.", nullptr},
    {3003, u8"인터넷 옵션에서 팝업 표시 방법을", nullptr},
    {3004, u8"[항상 새 탭에서 팝업 열기]에서 [항상 새 창에서 팝업 열기]로", nullptr},
    {3005, u8"변경하신 후에 증명서를 발급 받으십시오.", nullptr},
    {3006, u8"Use tabbed browsing", nullptr},
    {3007, u8"증명발급 시스템이 인터넷 옵션에서 팝업 표시 방법을", nullptr},
    {3008, u8"[항상 새 탭에서 팝업 열기]에서 [항상 새 창에서 팝업 열기]로 변환합니다.", nullptr},
    {3009, u8"변환을 적용한 후에는 증명서 발급을 새로 시작하셔야 합니다.", nullptr},
    {3010, u8"Will you change Internet option?", nullptr},
    {3011, u8"Internet Certification Issue System", nullptr},
    {3012, u8"Preparing to issue to default printer.", nullptr},
    {3013, u8"Default printer", nullptr},
    {3014, u8"is not operate.", nullptr},
    {3015,
     u8"Internet certification issue is preventing a remote control/screen capture/screen share. "
     u8"Try again after terminate a remote control/screen capture/screen share program.",
     nullptr},
    {3016, u8"Certificate preview is preparing.", nullptr},
    {3017, u8"Already First Page!", nullptr},
    {3018, u8"Already Last Page!", nullptr},
    {3019, u8"Page Move", nullptr},
    {3020, u8"Certificate were expired or is not yet valid.", nullptr},
    {3021, u8"Please wait. Check the printer information.",
     u8"프린터 정보를 확인중입니다. 잠시만 기다려 주십시오."},
    {3022,
     u8"The time can take a little according to a system and network situation. Check the status "
     u8"of network / printer when we take so long.",
     u8"시스템과 네트워크 상황에 따라 다소 시간이 걸릴 수 있으며 너무 오래 걸리는 경우 "
     u8"네트워크/프린터의 연결 상태를 확인하시기 바랍니다."},
    {3023,
     u8"Certificate issue has to be able to manage a printer and printing document. But it is "
     u8"impossible because it can not use this facility.",
     u8"죄송합니다. 증명서 발급은 프린터 및 인쇄 문서를 관리할 수 있어야 하지만 이 기능을 사용할 "
     u8"수 없기 때문에 증명서 발급이 불가능합니다."},
    {3024, u8"Unavailable", u8"발급 불가"},
    {3025,
     u8"Certificate issue must not use a document store facility of the printer to be printed. But "
     u8"it  is impossible because it can not stop this facility.",
     nullptr},
    {3026, u8"Available", u8"발급 가능"},
    {3027, u8"Use", nullptr},
    {3028, u8"Not use", nullptr},
    {3029, u8"Test", u8"시험인쇄"},
    {3030, u8"Virtual Printer", nullptr},
    {3031, u8"Virtual Printer, Shared Printer", nullptr},
    {3032, u8"Shared Printer", nullptr},
    {3033, u8"Virtual Printer, TCP/IP Network Printer", nullptr},
    {3034, u8"TCP/IP Network Printer", nullptr},
    {3035, u8"Virtual Printer, Local Printer", nullptr},
    {3036, u8"Local Printer", nullptr},
    {3037,
     u8"Network share printer to be selected can not change the attribute of the printer. But can "
     u8"issue the certificate because we become an exception processing.",
     u8"선택된 네트워크 공유 프린터는 프린터의 속성을 변경할 수 없지만 예외 처리 되어 있기 때문에 "
     u8"증명서를 발급할 수 있습니다."},
    {3038, u8"Shared printer which a printer setting up change impossible.",
     u8"프린터 설정 변경이 불가능한 공유 프린터"},
    {3039, u8"Unavailable", u8"변경 불가"},
    {3040, u8"Printing...", u8"문서 인쇄중"},
    {3041, u8"None", u8"없음"},
    {3042, u8"Available", nullptr},
    {3043, u8"Not use", u8"사용안함"},
    {3044, u8"Use", u8"사용함"},
    {3045, u8"Keep", u8"보관"},
    {3046, u8"Not Keep", u8"보관하지 않음"},
    {3047, u8"Unavailable", nullptr},
    {3048, u8"Unknown", nullptr},
    {3049, u8"Unknown", nullptr},
    {3050, u8"Unknown", u8"알수없음"},
    {3051, u8"Watermark transmitting...", nullptr},
    {3052, u8"Requesting data to the server...", nullptr},
    {3053, u8"Confirming the layout information.", nullptr},
    {3054, u8"Error occured while load the help.", nullptr},
    {3055, u8"Error Code:", nullptr},
    {3056, u8"Error Desc:", nullptr},
    {3057, u8"Help", nullptr},
    {3058, u8"인쇄 작업 실패", nullptr},
    {3059, u8"Remote Control/Screen Share Program or Virtual Machine",
     u8"원격 제어/화면 공유 프로그램 또는 가상 머신"},
    {3060, u8"Invalid the layout.", nullptr},
    {3061, u8"Error occured while IniSafeWeb Encryption.", nullptr},
    {3062, u8"Any printer does not exist.", u8"설치된 프린터가 없습니다."},
    {3063, u8"Printer to be established an information retrieval error:",
     u8"설치된 프린터 정보 검색중 오류:"},
    {3064, u8"Error occured while confirm information.", nullptr},
    {3065,
     u8"Default printer stays at the printing. Try again after the printing of default printer is "
     u8"terminated.",
     nullptr},
    {3066,
     u8"Can not cancel a document store option of a basis printer to be printed. Confirm the "
     u8"environment setting up of default printer.",
     nullptr},
    {3067,
     u8"Can not change a spooler setting up of a basis printer. Confirm the environment setting up "
     u8"of a basis printer.",
     nullptr},
    {3068, u8"Default printer information", nullptr},
    {3069, u8"Cannot open file.", nullptr},
    {3070, u8"File Open Error", nullptr},
    {3071, u8"Not support in current OS version.", nullptr},
    {3072, u8"Not Support", nullptr},
    {3073, u8"Help", nullptr},
    {3074, u8"Port Redirected Printer", u8"포트 재설정된 프린터"},
    {3075, u8"Checking the layout... ", nullptr},
    {3076, u8"Please wait. Layout analyzing...", nullptr},
    {3078, u8"Please wait. Preparing a certificate issue.", nullptr},
    {4000, u8"Printer List:", u8"프린터 목록:"},
    {4001, u8"Printer Info.:", nullptr},
    {4002, u8"Type:", nullptr},
    {4003, u8"Port Name:", u8"포트 이름:"},
    {4004, u8"Printing Job(s):", u8"인쇄중인 문서:"},
    {4005, u8"Changable:", u8"프린터 설정 변경:"},
    {4006, u8"Printed Doc.:", u8"인쇄된 문서:"},
    {4007, u8"Printer Driver:", u8"프린터 드라이버:"},
    {4008, u8"Printer Spooling:", u8"프린터 스풀 기능:"},
    {4009, u8"Monitor Name:", u8"모니터 이름:"},
    {4010, u8"Port Info.:", u8"포트 설명:"},
    {4011, u8"Port Type:", u8"포트 형태:"},
    {4012, u8"Intranet:", u8"인트라넷 사용:"},
    {4013, u8"Resolution:", u8"해상도:"},
    {4014, u8"NOTICE", u8"주의사항"},
    {4020, u8"Toner Low", u8"토너 부족"},
    {10263, u8"Printer Setup", u8"프린터 설정"},
    {10264, u8"Bidirectional Support:", u8"양방향 지원:"},
    {10265, u8"Advanced Printing Features:", u8"고급 인쇄 기능 사용:"},
    {10266, u8"(Recommended)", u8"(권장)"},
    {10283, u8"The toner of the selected printer is low.", u8"선택된 프린터의 토너가 부족합니다."},
    {10284, u8"The certificate may not be printed clearly.",
     u8"증명서가 선명하게 인쇄되지 않을 수 있습니다."},
    {10285, u8"Do you want to print the certificate anyway?",
     u8"그래도 증명서를 인쇄하시겠습니까?"},
    {10286, u8"The certificate cannot be issued on this printer: $1",
     u8"이 프린터로는 증명서를 발급할 수 없습니다: $1"},
    {10287, u8"Check the paper and the toner of the printer before you issue the certificate.",
     u8"증명서를 발급하기 전에 프린터의 용지와 토너 상태를 확인하세요."},
    {11314, u8"Type:", u8"종류:"},
};

struct JapaneseRow {
    int id;
    const char8_t* text;
};
constexpr JapaneseRow kJapanese[] = {{1, u8"jp"}, {2, u8"MS UI Gothic"}, {3, u8"9"}, {4, u8"128"}};

std::u16string widen(const char8_t* s) {
    return platform::text::fromUtf8(reinterpret_cast<const char*>(s));
}

thread_local std::optional<Language> chosen;

Language fromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v) continue;
        if (std::strncmp(v, "ko", 2) == 0) return Language::Korean;
        if (std::strncmp(v, "ja", 2) == 0) return Language::Japanese;
        return Language::English;
    }
    return Language::English;
}

}  // namespace

MissingResource::MissingResource(int id)
    : std::runtime_error("Resource with identifier '" + std::to_string(id) + "' not found"),
      id_(id) {}

Language currentLanguage() {
    return chosen ? *chosen : fromEnvironment();
}

void setLanguage(std::optional<Language> language) {
    chosen = language;
}

std::optional<std::u16string> findString(int id, Language language) {
    auto it = std::lower_bound(std::begin(kRows), std::end(kRows), id,
                               [](const Row& r, int v) { return r.id < v; });
    if (it == std::end(kRows) || it->id != id) return std::nullopt;
    if (language == Language::Japanese) {
        for (const auto& j : kJapanese)
            if (j.id == id) return widen(j.text);
    }
    if (language == Language::Korean && it->korean) return widen(it->korean);
    return widen(it->english);
}

std::optional<std::u16string> findString(int id) {
    return findString(id, currentLanguage());
}

std::u16string loadString(int id, Language language) {
    if (auto s = findString(id, language)) return *s;
    throw MissingResource(id);
}

std::u16string loadString(int id) {
    return loadString(id, currentLanguage());
}

}  // namespace vistrel
