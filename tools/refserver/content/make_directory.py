#!/usr/bin/env python3
"""Writes the sample course directory of the reference update server:
areas.tsv, directory.tsv and courses.tsv beside this script.

The output is committed; run this again only to change the sample content.
The same seed always gives the same files.

Directory levels (the keys each level's list is asked with):
  1  md=6                    areas (id: index into the area list)
  2  md=7&a=AREA             countries (id: n, the country number)
  3  md=8&n=N                regions (id: r)
  4  md=9&n=N&r=R            prefectures, provinces, states (id: s, unique in N)
  5  md=10&n=N               ways to search (id: il): by name, by holes
  6  md=11&n=N&il=IL         index groups (id: i): initials of the name in the
                             language asked, or hole counts
  7  md=12&n=N&s=S&i=I       courses (id n, sub s, number g)
"""

import os
import random

LANGS = ["ja", "en", "ko", "zh-Hans", "zh-Hant"]
SEED = 20171201

# Area code and names in the five languages; the area index is the level-1 id
# and the main page's area choice.
AREAS = [
    ("JPN", ["日本", "Japan", "일본", "日本", "日本"]),
    ("KOR", ["韓国", "Korea", "한국", "韩国", "韓國"]),
    ("CHN", ["中国", "China", "중국", "中国", "中國"]),
    ("TWN", ["台湾", "Taiwan", "대만", "台湾", "臺灣"]),
    ("SEA", ["東南アジア", "Southeast Asia", "동남아시아", "东南亚", "東南亞"]),
]

# Countries: (area index, n, names, regions); regions: (r, names, prefectures);
# prefectures: (s, names, number of courses).
COUNTRIES = [
    (0, 1, ["日本", "Japan", "일본", "日本", "日本"], [
        (1, ["北海道", "Hokkaido", "홋카이도", "北海道", "北海道"], [
            (1, ["北海道", "Hokkaido", "홋카이도", "北海道", "北海道"], 8)]),
        (2, ["東北", "Tohoku", "도호쿠", "东北", "東北"], [
            (2, ["宮城", "Miyagi", "미야기", "宫城", "宮城"], 6),
            (3, ["福島", "Fukushima", "후쿠시마", "福岛", "福島"], 6)]),
        (3, ["関東", "Kanto", "간토", "关东", "關東"], [
            (4, ["茨城", "Ibaraki", "이바라키", "茨城", "茨城"], 7),
            (5, ["栃木", "Tochigi", "도치기", "栃木", "栃木"], 7),
            (6, ["群馬", "Gunma", "군마", "群马", "群馬"], 6),
            (7, ["埼玉", "Saitama", "사이타마", "埼玉", "埼玉"], 6),
            (8, ["千葉", "Chiba", "지바", "千叶", "千葉"], 8),
            (9, ["東京", "Tokyo", "도쿄", "东京", "東京"], 4),
            (10, ["神奈川", "Kanagawa", "가나가와", "神奈川", "神奈川"], 6)]),
        (4, ["中部", "Chubu", "주부", "中部", "中部"], [
            (11, ["静岡", "Shizuoka", "시즈오카", "静冈", "靜岡"], 7),
            (12, ["長野", "Nagano", "나가노", "长野", "長野"], 5),
            (13, ["愛知", "Aichi", "아이치", "爱知", "愛知"], 6)]),
        (5, ["近畿", "Kinki", "긴키", "近畿", "近畿"], [
            (14, ["大阪", "Osaka", "오사카", "大阪", "大阪"], 5),
            (15, ["兵庫", "Hyogo", "효고", "兵库", "兵庫"], 7),
            (16, ["京都", "Kyoto", "교토", "京都", "京都"], 5)]),
        (6, ["中国・四国", "Chugoku & Shikoku", "주고쿠·시코쿠", "中国·四国", "中國·四國"], [
            (17, ["広島", "Hiroshima", "히로시마", "广岛", "廣島"], 5),
            (18, ["岡山", "Okayama", "오카야마", "冈山", "岡山"], 5)]),
        (7, ["九州・沖縄", "Kyushu & Okinawa", "규슈·오키나와", "九州·冲绳", "九州·沖繩"], [
            (19, ["福岡", "Fukuoka", "후쿠오카", "福冈", "福岡"], 6),
            (20, ["沖縄", "Okinawa", "오키나와", "冲绳", "沖繩"], 5)]),
    ]),
    (1, 2, ["韓国", "Korea", "한국", "韩国", "韓國"], [
        (1, ["首都圏", "Capital Area", "수도권", "首都圈", "首都圈"], [
            (1, ["ソウル", "Seoul", "서울", "首尔", "首爾"], 4),
            (2, ["京畿道", "Gyeonggi", "경기도", "京畿道", "京畿道"], 8),
            (3, ["仁川", "Incheon", "인천", "仁川", "仁川"], 5)]),
        (2, ["江原", "Gangwon", "강원", "江原", "江原"], [
            (4, ["江原道", "Gangwon", "강원도", "江原道", "江原道"], 6)]),
        (3, ["忠清", "Chungcheong", "충청", "忠清", "忠清"], [
            (5, ["忠清北道", "North Chungcheong", "충청북도", "忠清北道", "忠清北道"], 5),
            (6, ["忠清南道", "South Chungcheong", "충청남도", "忠清南道", "忠清南道"], 5)]),
        (4, ["全羅", "Jeolla", "전라", "全罗", "全羅"], [
            (7, ["全羅北道", "North Jeolla", "전라북도", "全罗北道", "全羅北道"], 4),
            (8, ["全羅南道", "South Jeolla", "전라남도", "全罗南道", "全羅南道"], 5)]),
        (5, ["慶尚", "Gyeongsang", "경상", "庆尚", "慶尚"], [
            (9, ["慶尚北道", "North Gyeongsang", "경상북도", "庆尚北道", "慶尚北道"], 5),
            (10, ["慶尚南道", "South Gyeongsang", "경상남도", "庆尚南道", "慶尚南道"], 5),
            (11, ["釜山", "Busan", "부산", "釜山", "釜山"], 4)]),
        (6, ["済州", "Jeju", "제주", "济州", "濟州"], [
            (12, ["済州島", "Jeju Island", "제주도", "济州岛", "濟州島"], 7)]),
    ]),
    (2, 3, ["中国", "China", "중국", "中国", "中國"], [
        (1, ["華北", "North China", "화베이", "华北", "華北"], [
            (1, ["北京", "Beijing", "베이징", "北京", "北京"], 6),
            (2, ["天津", "Tianjin", "톈진", "天津", "天津"], 4),
            (3, ["河北", "Hebei", "허베이", "河北", "河北"], 4)]),
        (2, ["華東", "East China", "화둥", "华东", "華東"], [
            (4, ["上海", "Shanghai", "상하이", "上海", "上海"], 6),
            (5, ["江蘇", "Jiangsu", "장쑤", "江苏", "江蘇"], 5),
            (6, ["浙江", "Zhejiang", "저장", "浙江", "浙江"], 5),
            (7, ["山東", "Shandong", "산둥", "山东", "山東"], 5)]),
        (3, ["華南", "South China", "화난", "华南", "華南"], [
            (8, ["広東", "Guangdong", "광둥", "广东", "廣東"], 6),
            (9, ["海南", "Hainan", "하이난", "海南", "海南"], 5)]),
    ]),
    (3, 4, ["台湾", "Taiwan", "대만", "台湾", "臺灣"], [
        (1, ["北部", "Northern Taiwan", "북부", "北部", "北部"], [
            (1, ["台北", "Taipei", "타이베이", "台北", "臺北"], 4),
            (2, ["新北", "New Taipei", "신베이", "新北", "新北"], 5),
            (3, ["桃園", "Taoyuan", "타오위안", "桃园", "桃園"], 5)]),
        (2, ["中部", "Central Taiwan", "중부", "中部", "中部"], [
            (4, ["台中", "Taichung", "타이중", "台中", "臺中"], 4)]),
        (3, ["南部", "Southern Taiwan", "남부", "南部", "南部"], [
            (5, ["台南", "Tainan", "타이난", "台南", "臺南"], 3),
            (6, ["高雄", "Kaohsiung", "가오슝", "高雄", "高雄"], 4)]),
    ]),
    (4, 5, ["タイ", "Thailand", "태국", "泰国", "泰國"], [
        (1, ["タイ中部", "Central Thailand", "태국 중부", "泰国中部", "泰國中部"], [
            (1, ["バンコク", "Bangkok", "방콕", "曼谷", "曼谷"], 5),
            (2, ["チョンブリー", "Chonburi", "촌부리", "春武里", "春武里"], 4)]),
        (2, ["タイ南部", "Southern Thailand", "태국 남부", "泰国南部", "泰國南部"], [
            (3, ["プーケット", "Phuket", "푸껫", "普吉", "普吉"], 4)]),
    ]),
    (4, 6, ["ベトナム", "Vietnam", "베트남", "越南", "越南"], [
        (1, ["ベトナム北部", "Northern Vietnam", "베트남 북부", "越南北部", "越南北部"], [
            (1, ["ハノイ", "Hanoi", "하노이", "河内", "河內"], 3)]),
        (2, ["ベトナム南部", "Southern Vietnam", "베트남 남부", "越南南部", "越南南部"], [
            (2, ["ホーチミン", "Ho Chi Minh City", "호찌민", "胡志明市", "胡志明市"], 4)]),
    ]),
    (4, 7, ["マレーシア", "Malaysia", "말레이시아", "马来西亚", "馬來西亞"], [
        (1, ["マレー半島", "Peninsular Malaysia", "말레이반도", "马来半岛", "馬來半島"], [
            (1, ["クアラルンプール", "Kuala Lumpur", "쿠알라룸푸르", "吉隆坡", "吉隆坡"], 4),
            (2, ["ジョホール", "Johor", "조호르", "柔佛", "柔佛"], 3)]),
        (2, ["東マレーシア", "East Malaysia", "동말레이시아", "东马来西亚", "東馬來西亞"], [
            (3, ["サバ", "Sabah", "사바", "沙巴", "沙巴"], 3)]),
    ]),
]

# The first part of a course name: English, Japanese, its reading in hiragana,
# Korean, Simplified and Traditional Chinese, and the pinyin initial of the
# Chinese name (the Chinese index).
FLAVOURS = [
    ("Green Hills", "グリーンヒルズ", "ぐりーんひるず", "그린힐스", "绿丘", "綠丘", "L"),
    ("Pine Valley", "パインバレー", "ぱいんばれー", "파인밸리", "松谷", "松谷", "S"),
    ("Lakeside", "レイクサイド", "れいくさいど", "레이크사이드", "湖畔", "湖畔", "H"),
    ("Sunrise", "サンライズ", "さんらいず", "선라이즈", "日出", "日出", "R"),
    ("Ocean View", "オーシャンビュー", "おーしゃんびゅー", "오션뷰", "海景", "海景", "H"),
    ("Royal", "ロイヤル", "ろいやる", "로열", "皇家", "皇家", "H"),
    ("Grand", "グランド", "ぐらんど", "그랜드", "格兰德", "格蘭德", "G"),
    ("Maple", "メープル", "めーぷる", "메이플", "枫叶", "楓葉", "F"),
    ("Cherry Blossom", "桜", "さくら", "벚꽃", "樱花", "櫻花", "Y"),
    ("Eagle Ridge", "イーグルリッジ", "いーぐるりっじ", "이글릿지", "鹰岭", "鷹嶺", "Y"),
    ("Silver Lake", "シルバーレイク", "しるばーれいく", "실버레이크", "银湖", "銀湖", "Y"),
    ("Golden Valley", "ゴールデンバレー", "ごーるでんばれー", "골든밸리", "金谷", "金谷", "J"),
    ("Fujimi", "富士見", "ふじみ", "후지미", "富士见", "富士見", "F"),
    ("Blue Sky", "ブルースカイ", "ぶるーすかい", "블루스카이", "蓝天", "藍天", "L"),
    ("Forest", "フォレスト", "ふぉれすと", "포레스트", "森林", "森林", "S"),
    ("Riverside", "リバーサイド", "りばーさいど", "리버사이드", "河畔", "河畔", "H"),
    ("Highland", "ハイランド", "はいらんど", "하이랜드", "高原", "高原", "G"),
    ("Seaside", "シーサイド", "しーさいど", "씨사이드", "海滨", "海濱", "H"),
    ("Windmill", "ウィンドミル", "うぃんどみる", "윈드밀", "风车", "風車", "F"),
    ("Crystal", "クリスタル", "くりすたる", "크리스탈", "水晶", "水晶", "S"),
    ("Wakaba", "若葉", "わかば", "와카바", "若叶", "若葉", "R"),
    ("Nishiki", "錦", "にしき", "니시키", "锦", "錦", "J"),
    ("Yamabuki", "山吹", "やまぶき", "야마부키", "山吹", "山吹", "S"),
    ("Camellia", "椿", "つばき", "동백", "山茶", "山茶", "S"),
    ("Moonlight", "ムーンライト", "むーんらいと", "문라이트", "月光", "月光", "Y"),
    ("Rainbow", "レインボー", "れいんぼー", "레인보우", "彩虹", "彩虹", "C"),
    ("Diamond", "ダイヤモンド", "だいやもんど", "다이아몬드", "钻石", "鑽石", "Z"),
    ("Phoenix", "フェニックス", "ふぇにっくす", "피닉스", "凤凰", "鳳凰", "F"),
    ("Valley View", "バレービュー", "ばれーびゅー", "밸리뷰", "谷景", "谷景", "G"),
    ("Hanazono", "花園", "はなぞの", "하나조노", "花园", "花園", "H"),
    ("Mizuho", "瑞穂", "みずほ", "미즈호", "瑞穗", "瑞穗", "R"),
    ("Tokiwa", "常盤", "ときわ", "도키와", "常盘", "常盤", "C"),
    ("Asahi", "朝日", "あさひ", "아사히", "朝日", "朝日", "Z"),
    ("Nagisa", "渚", "なぎさ", "나기사", "渚", "渚", "Z"),
    ("Sunset", "サンセット", "さんせっと", "선셋", "夕阳", "夕陽", "X"),
    ("Victoria", "ビクトリア", "びくとりあ", "빅토리아", "维多利亚", "維多利亞", "W"),
    ("Orchid", "オーキッド", "おーきっど", "오키드", "兰花", "蘭花", "L"),
]

# The second part: English, Japanese, Korean, Simplified and Traditional Chinese.
KINDS = [
    ("Country Club", "カントリークラブ", "컨트리클럽", "乡村俱乐部", "鄉村俱樂部"),
    ("Golf Club", "ゴルフクラブ", "골프클럽", "高尔夫俱乐部", "高爾夫俱樂部"),
    ("Golf Course", "ゴルフコース", "골프코스", "高尔夫球场", "高爾夫球場"),
    ("Golf Links", "ゴルフリンクス", "골프링크스", "高尔夫林克斯", "高爾夫林克斯"),
    ("Golf Resort", "ゴルフリゾート", "골프리조트", "高尔夫度假村", "高爾夫度假村"),
]

SEARCH_WAYS = [
    (1, ["コース名から探す", "By course name", "골프장 이름으로 찾기", "按球场名称", "按球場名稱"]),
    (2, ["ホール数から探す", "By number of holes", "홀 수로 찾기", "按洞数", "按洞數"]),
]

# Index groups. Their ids are kept apart per script so that an i value always
# means one group: Japanese rows 1-10, Latin letters 11-15, Korean initials
# 16-29, hole counts 101-104.
KANA_ROWS = [
    (1, "あ行", "あいうえおぁぃぅぇぉ"), (2, "か行", "かきくけこがぎぐげご"),
    (3, "さ行", "さしすせそざじずぜぞ"), (4, "た行", "たちつてとだぢづでどっ"),
    (5, "な行", "なにぬねの"), (6, "は行", "はひふへほばびぶべぼぱぴぷぺぽ"),
    (7, "ま行", "まみむめも"), (8, "や行", "やゆよゃゅょ"), (9, "ら行", "らりるれろ"),
    (10, "わ行", "わをん"),
]
LATIN_GROUPS = [(11, "A–E", "ABCDE"), (12, "F–J", "FGHIJ"), (13, "K–O", "KLMNO"),
                (14, "P–T", "PQRST"), (15, "U–Z", "UVWXYZ")]
HANGUL_INITIALS = "ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ"
HANGUL_GROUPS = ["ㄱ", "ㄴ", "ㄷ", "ㄹ", "ㅁ", "ㅂ", "ㅅ", "ㅇ", "ㅈ", "ㅊ", "ㅋ", "ㅌ", "ㅍ", "ㅎ"]
HANGUL_PLAIN = {"ㄲ": "ㄱ", "ㄸ": "ㄷ", "ㅃ": "ㅂ", "ㅆ": "ㅅ", "ㅉ": "ㅈ"}
HOLE_GROUPS = [
    (101, 9, ["9ホール", "9 holes", "9홀", "9洞", "9洞"]),
    (102, 18, ["18ホール", "18 holes", "18홀", "18洞", "18洞"]),
    (103, 27, ["27ホール", "27 holes", "27홀", "27洞", "27洞"]),
    (104, 36, ["36ホール", "36 holes", "36홀", "36洞", "36洞"]),
]


class Course:
    def __init__(self, n, s, g, flavour, kind, holes, holeview, date):
        self.n, self.s, self.g = n, s, g
        self.flavour, self.kind = flavour, kind
        self.holes, self.holeview, self.date = holes, holeview, date

    def name(self, lang):
        f, k = self.flavour, self.kind
        return [f[1] + k[1], f[0] + " " + k[0], f[3] + " " + k[2], f[4] + k[3], f[5] + k[4]][lang]

    def sort_key(self, lang):
        # Japanese lists follow the reading, Chinese the pinyin initial.
        if lang == 0:
            return (self.flavour[2] + self.kind[1], self.g)
        if lang in (3, 4):
            return (self.flavour[6] + self.name(lang), self.g)
        return (self.name(lang), self.g)

    def name_group(self, lang):
        if lang == 0:
            first = self.flavour[2][0]
            return next(i for i, _, kana in KANA_ROWS if first in kana)
        if lang == 2:
            initial = HANGUL_INITIALS[(ord(self.name(2)[0]) - 0xAC00) // 588]
            return 16 + HANGUL_GROUPS.index(HANGUL_PLAIN.get(initial, initial))
        letter = self.flavour[0][0] if lang == 1 else self.flavour[6]
        return next(i for i, _, letters in LATIN_GROUPS if letter in letters)

    def hole_group(self):
        return next(i for i, holes, _ in HOLE_GROUPS if holes == self.holes)


def group_label(i, lang):
    for gid, label, _ in KANA_ROWS:
        if gid == i:
            return label
    for gid, label, _ in LATIN_GROUPS:
        if gid == i:
            return label
    if 16 <= i < 16 + len(HANGUL_GROUPS):
        return HANGUL_GROUPS[i - 16]
    for gid, _, names in HOLE_GROUPS:
        if gid == i:
            return names[lang]
    raise ValueError(i)


def make_courses(rng):
    courses = []
    g = 0
    for _, n, _, regions in COUNTRIES:
        combos = [(f, k) for f in FLAVOURS for k in KINDS]
        rng.shuffle(combos)  # names stay unique within a country
        for _, _, prefectures in regions:
            for s, _, count in prefectures:
                for _ in range(count):
                    g += 1
                    flavour, kind = combos.pop()
                    holes = rng.choice([9, 18, 18, 18, 18, 27, 27, 36])
                    date = "%02d%02d%02d%02d%02d" % (
                        rng.choice([16, 17]), rng.randint(1, 11), rng.randint(1, 28),
                        rng.randint(8, 18), rng.choice([0, 15, 30, 45]))
                    courses.append(Course(n, s, g, flavour, kind, holes,
                                          rng.random() < 0.45, date))
    return courses


def directory_lines(courses):
    lists = {}  # (query, lang) -> [(id, sub, number, flags, name)]

    def add(query, lang, item):
        lists.setdefault((query, lang), []).append(item)

    for lang in range(len(LANGS)):
        for index, (_, names) in enumerate(AREAS):
            add("md=6", lang, (index, 0, 0, 0, names[lang]))
        for area, n, names, regions in COUNTRIES:
            add("md=7&a=%d" % area, lang, (n, 0, 0, 0, names[lang]))
            for r, rnames, prefectures in regions:
                add("md=8&n=%d" % n, lang, (r, 0, 0, 0, rnames[lang]))
                for s, snames, _ in prefectures:
                    add("md=9&n=%d&r=%d" % (n, r), lang, (s, 0, 0, 0, snames[lang]))
            mine = [c for c in courses if c.n == n]
            by_name = sorted({c.name_group(lang) for c in mine})
            by_holes = sorted({c.hole_group() for c in mine})
            for il, wnames in SEARCH_WAYS:
                add("md=10&n=%d" % n, lang, (il, 0, 0, 0, wnames[lang]))
                for i in (by_name if il == 1 else by_holes):
                    add("md=11&n=%d&il=%d" % (n, il), lang, (i, 0, 0, 0, group_label(i, lang)))
            for c in sorted(mine, key=lambda c: c.sort_key(lang)):
                item = (c.n, c.s, c.g, 1 if c.holeview else 0, c.name(lang))
                add("md=12&n=%d&s=%d&i=%d" % (n, c.s, c.name_group(lang)), lang, item)
                add("md=12&n=%d&s=%d&i=%d" % (n, c.s, c.hole_group()), lang, item)

    for (query, lang), items in lists.items():
        assert len(items) <= 255, query
        body = 1 + sum(10 + len(item[4].encode()) for item in items)
        assert body <= 65536, query
        for item in items:
            assert len(item[4].encode()) <= 255, item
            yield "\t".join([query, str(lang)] + [str(v) for v in item])


def write(path, header, lines):
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(header)
        for line in lines:
            out.write(line + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    courses = make_courses(random.Random(SEED))

    write(os.path.join(here, "areas.tsv"),
          "# Area list (md=14), in list order. Written by make_directory.py.\n"
          "# code\tja\ten\tko\tzh-Hans\tzh-Hant\n",
          ("\t".join([code] + names) for code, names in AREAS))

    write(os.path.join(here, "directory.tsv"),
          "# Course directory lists (md=6 to md=12). Written by make_directory.py.\n"
          "# One record per line; the lines of one query and language form its list,\n"
          "# in file order.\n"
          "# query\tlanguage\tid\tsub\tnumber\tflags\tname\n",
          directory_lines(courses))

    write(os.path.join(here, "courses.tsv"),
          "# Course information (md=5). Written by make_directory.py.\n"
          "# n\ts\tg\tdate\tja\ten\tko\tzh-Hans\tzh-Hant\n",
          ("\t".join([str(c.n), str(c.s), str(c.g), c.date] +
                     [c.name(lang) for lang in range(len(LANGS))]) for c in courses))
    print("%d courses" % len(courses))


if __name__ == "__main__":
    main()
