#include "core/MessageTable.h"

#include "core/TeelinkDoc.h"

#include <cassert>
#include <iterator>

namespace teelink {

namespace {

struct CMessageTexts {
    int id;
    const wchar_t* texts[LANGUAGE_COUNT];  // in the order of the Language enum
};

// clang-format off
const CMessageTexts kMessages[] = {
    {0, L"世界", L"World", L"세계", L"世界", L"世界"},
    {1, L"日本", L"Japan", L"일본", L"日本", L"日本"},
    {2, L"韓国", L"Korea", L"한국", L"韩国", L"韓國"},
    {3, L"中国,台湾", L"China, Taiwan", L"중국, 대만", L"台湾", L"台灣"},
    {4, L"フィリピン", L"Philippin", L"필리핀", L"菲律宾", L"菲律賓"},
    {5, L"アメリカ", L"USA", L"미국", L"美国", L"美國"},
    {6, L"処理を中止しました", L"Operation aborted", L"작업이 취소되었습니다", L"操作已中止", L"操作已中止"},
    {7, L"完了しました", L"Complete", L"완료되었습니다", L"完成", L"完成"},
    {8, L"Kestrumをお使いの方は、電源をONにしてPCに接続してください", L"", L"", L"", L""},
    {9, L"端末との通信に失敗しました", L"Communication failed with device",
     L"단말기와의 통신에 실패했습니다", L"与设备通信失败", L"與設備通訊失敗"},
    {10, L"端末は1台ずつ接続してください。", L"Please connect one device at a time.",
     L"단말기는 한 대씩 연결해 주십시오.", L"请一次只连接一台设备。", L"請一次只連接一台設備。"},
    {11, L"通信エラー", L"Communication failure", L"통신 오류", L"通信失败", L"通訊失敗"},
    {12, L"ダウンロード中です。\n\n端末を取り外したり、PCの電源を切ったりしないでください。",
     L"Downloading data.\n\nDo not remove the device or shut down the PC.",
     L"데이터를 다운로드 하고 있습니다.\n\n케이블을 분리하거나 PC의 전원을 차단되지 않도록 주의 하시기 바랍니다.",
     L"正在下载数据。\n\n请勿移除设备或切断计算机电源。",
     L"正在下載數據。\n\n請勿移除設備或切斷電腦電源。"},
    {13, L"ダウンロードに失敗しました。", L"Failed to download.", L"다운로드에 실패했습니다.",
     L"下载失败。", L"下載失敗。"},
    {14, L"データを書き込み中です。\n\n端末を取り外したり、PCの電源を切ったりしないでください。",
     L"Overwriting data.\n\nDo not remove the device or shut down the PC.",
     L"데이터를 기록하고 있습니다.\n\n케이블을 분리하거나 PC의 전원을 차단되지 않도록 주의 하시기 바랍니다.",
     L"正在写入数据。\n\n请勿移除设备或切断计算机电源。",
     L"正在寫入數據。\n\n請勿移除設備或切斷電腦電源。"},
    {15, L"書き込みに失敗しました", L"Failed to write", L"기록에 실패했습니다", L"写入失败", L"寫入失敗"},
    {16, L"残り 約 %d 分", L"Remaining time %d minutes", L"약 %d 분 남았습니다.",
     L"剩余时间 %d 分钟", L"剩餘時間 %d 分鐘"},
    {17, L"サーバー接続エラー", L"Server connection error", L"서버 연결 오류",
     L"服务器连接错误", L"伺服器連線錯誤"},
    {18, L"新しいバージョンのツールがあります。インストールしてください。",
     L"New version of the tool is available to install. ",
     L"새 버전의 툴을 설치할 수 있습니다.", L"有新版本的工具可供安装。", L"有新版本的工具可供安裝。"},
    {19, L"Kestrumをお使いの方は、電源スイッチをONにしてください。",
     L"Please turn on the power switch in the case of Kestrum.",
     L"Kestrum을 사용하시는 경우 전원 스위치를 켜 주십시오.",
     L"使用Kestrum时，请打开电源开关。", L"使用Kestrum時，請打開電源開關。"},
    {20, L"終了", L"Exit", L"종료", L"退出", L"結束"},
    {21, L"キャンセル", L"Cancel", L"취소", L"取消", L"取消"},
    {22, L"開始", L"Start", L"시작", L"开始", L"開始"},
    {23, L"ゴルフ場データの更新", L"Golf course information update", L"골프장 정보 업데이트",
     L"球场信息更新", L"球場資訊更新"},
    {24, L"ゴルフ場データを最新版に更新します", L"Update the golf course data to the latest version",
     L"골프장 데이터를 최신 버전으로 업데이트합니다", L"将球场数据更新到最新版本",
     L"將球場資料更新到最新版本"},
    {25, L"", L"", L"", L"", L""},
    {26, L"対応国・地域", L"Available country/region", L"대응 국가/지역", L"适用国家/地区",
     L"適用國家/地區"},
    {27, L"システムデータの更新", L"System data update", L"시스템 데이터 업데이트",
     L"系统数据更新", L"系統資料更新"},
    {28, L"ファームウェアと音声を更新します", L"Update firmware and voice",
     L"펌웨어와 음성을 업데이트합니다", L"更新固件和语音", L"更新韌體和語音"},
    {29, L"サービスコード（該当する場合）", L"Service code (if applicable)",
     L"서비스 코드(해당하는 경우)", L"服务代码（如适用）", L"服務代碼（如適用）"},
    {30, L"最新:", L"Latest:", L"최신:", L"最新:", L"最新:"},
    {31, L"現在:", L"Current:", L"현재:", L"当前:", L"目前:"},
    {32, L"お気に入りゴルフ場", L"Favorite golf course", L"즐겨찾는 골프장", L"收藏的球场",
     L"收藏的球場"},
    {33, L"お気に入りゴルフ場を選択", L"Select favorite golf courses", L"즐겨찾는 골프장 선택",
     L"选择收藏的球场", L"選擇收藏的球場"},
    {34, L"最大15ゴルフ場まで", L"Up to 15 golf courses", L"최대 15개 골프장", L"最多15个球场",
     L"最多15個球場"},
    {35, L"設定", L"Setting", L"설정", L"设置", L"設定"},
    {36, L"登録地点の取得", L"Acquiring positions marked", L"지점 등록 데이터 가져오기",
     L"获取标记位置", L"取得標記位置"},
    {37, L"Trev Log用の地点データを読み込みます\nTrev Logのアップロードには会員登録（無料）が必要です",
     L"Loading map data for Trev Log\nMembership registration (Free) is required to upload Trev Log ",
     L"Trev Log용 지점 데이터를 가져옵니다\nTrev Log 업로드에는 회원 가입(무료)이 필요합니다",
     L"读取Trev Log的标记数据\n上传Trev Log需要注册会员（免费）",
     L"讀取Trev Log的標記資料\n上傳Trev Log需要註冊會員（免費）"},
    {38, L"TrevLogページ", L"TrevLog page", L"TrevLog 페이지", L"TrevLog页面", L"TrevLog頁面"},
    {39, L"Zorvik\nウェブサイト", L"Zorvik\nwebsite", L"Zorvik\n웹사이트", L"Zorvik\n网站",
     L"Zorvik\n網站"},
    {40, L"ダウンロード", L"Download", L"다운로드", L"下载", L"下載"},
    {41, L"書き込み", L"Write", L"기록", L"写入", L"寫入"},
    {42, L"書き込みが完了しました。\n自動的にファームウェアの更新が始まります。\n約2分ほどで完了します。",
     L"", L"", L"", L""},
    {43, L"お気に入りゴルフ場を読み込み中", L"Loading the favorite golf courses",
     L"즐겨찾는 골프장을 읽는 중", L"正在读取收藏的球场", L"正在讀取收藏的球場"},
    {44, L"ゴルフ場データを確認中", L"Checking on the golf course data", L"골프장 데이터를 확인하는 중",
     L"正在检查球场数据", L"正在檢查球場資料"},
    {45, L"変更したいお気に入りスロットをダブルクリックしてください",
     L"Double-click on a favorite slot that you want to change",
     L"변경할 즐겨찾기 슬롯을 더블 클릭하십시오", L"请双击要更改的收藏栏位", L"請雙擊要更改的收藏欄位"},
    {46, L"スロット", L"Slot", L"슬롯", L"栏位", L"欄位"},
    {47, L"ゴルフ場", L"golf course", L"골프장", L"球场", L"球場"},
    {48, L"更新", L"Update", L"업데이트", L"更新", L"更新"},
    {49, L"○", L"○", L"○", L"○", L"○"},
    {50, L"更新が必要なゴルフ場データ", L"Golf course data that needs updating",
     L"업데이트가 필요한 골프장 데이터", L"需要更新的球场数据", L"需要更新的球場資料"},
    {51, L"データなし", L"NO Data", L"데이터 없음", L"无数据", L"無資料"},
    {52, L"ゴルフ場の選択", L"Select Golf Course", L"골프장 선택", L"选择球场", L"選擇球場"},
    {53, L"Holeview対応", L"Compatible with Holeview", L"Holeview 대응", L"支持Holeview",
     L"支援Holeview"},
    {54, L"Trevログファイル (*.trv)|*.trv|すべてのファイル (*.*)|*.*||",
     L"TrevLog file (*.trv)|*.trv|all files (*.*)|*.*||",
     L"Trev로그 파일 (*.trv)|*.trv|모든 파일 (*.*)|*.*||",
     L"TrevLog档案 (*.trv)|*.trv|所有档案 (*.*)|*.*||",
     L"TrevLog檔案 (*.trv)|*.trv|所有檔案 (*.*)|*.*||"},
    {55, L"Trevログデータ読み込み中です\r\nスクリーンセーバーや省電力モードは\r\n起動しないようにしてください",
     L"Loading data.\n\nDo not remove or turn off the device.",
     L"지점 등록 데이터를 가져오고 있습니다.\n\n케이블을 분리하거나 PC의 전원을 차단되지 않도록 주의 하시기 바랍니다.",
     L"Trev Log数据读取中\n请勿切换至屏幕保护模式\n或者省电模式",
     L"Trev Log資料讀取中\n請勿切換至螢幕保護模式\n或者省電模式"},
};
// clang-format on

}  // namespace

CMessageTable::CMessageTable() {
    static_assert(std::size(kMessages) == MESSAGE_COUNT);
    for (const CMessageTexts& message : kMessages) {
        for (int language = 0; language < LANGUAGE_COUNT; ++language) {
            m_strMessages[static_cast<size_t>(message.id * LANGUAGE_COUNT + language)] =
                message.texts[language];
        }
    }
}

std::wstring CMessageTable::GetMessageText(int id) const {
    return Text(id, m_nLanguage);
}

const std::wstring& CMessageTable::Text(int id, int language) const {
    assert(id >= 0 && id < MESSAGE_COUNT);
    assert(language >= 0 && language < LANGUAGE_COUNT);
    return m_strMessages[static_cast<size_t>(id * LANGUAGE_COUNT + language)];
}

std::wstring FormatMessageInt(const std::wstring& format, int value) {
    std::wstring out;
    const std::wstring number = std::to_wstring(value);
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size()) {
            if (format[i + 1] == L'd') {
                out += number;
                ++i;
                continue;
            }
            if (format[i + 1] == L'%') {
                out += L'%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

MessageId CompletionMessage(int updateMode, const std::wstring& systemText) {
    if (updateMode == UPDATE_SYSTEM_DATA && !systemText.empty()) {
        return MSG_SYSTEM_WRITE_COMPLETE;
    }
    return MSG_COMPLETE;
}

}  // namespace teelink
