#include "dialogs/dialog_texts.h"

#include <cstdio>

namespace pelnik::settings {

namespace {

const DialogTexts kEnglish{
    false,
    "Property",
    "OK",
    "Cancel",
    "Default(&D)",
    "Apply(&A)",

    "Analog Gain",
    "&Global Gain",
    "&Color Gain G1",
    "&Color Gain R",
    "&Color Gain B",
    "&Color Gain G2",
    "&Exposure",
    "= msec",
    "Mirror V",
    "Mirror H",
    "Auto Iris",
    "Exposure",
    "Gain",

    "Image Filter",
    "Gray Filter",
    {"&Brightness", "&Contrast", "&Hue", "&Saturation", "Shar&pness", "&R Gain", "&G Gain",
     "&B Gain", "&Gamma"},
    "Bayer Mode",
    {"0", "1", "2", "3"},
    "Auto white balance",
    "Once",
    "All frames",
    "Gain",
    "Offset",
    {"Red", "Green1", "Green2", "Blue"},
    "Filter mode",
    {"Bayer", "Bayer convert", "Grayscale"},
    "Auto Gain",

    "Stream Format",
    "Color / Compression(&C):",
    {"Monochrome 8bit", "Monochrome 10bit *", "Color 24bit", "Color 32bit", "Color 48bit *",
     "Color 64bit *"},
    "Size(&S):",
    "Custom",
    "Sub Sample(&B):",
    {"1/1", "1/2 Skip"},
    "H Total",
    "V Total",
    "H Effective",
    "V Effective",
    "H Start",
    "V Start",
    "Wait Time(&T):",
    "Clock(&C):",
    {"Nomal(24MHz)", "Half(12MHz)", "High(%dMHz)"},
    "* In the WORD forwarding mode, please set the clock to the half.",
};

const DialogTexts kJapanese{
    true,
    "Property",
    "OK",
    "キャンセル",
    "既定値(&D)",
    "適用(&A)",

    "Analog Gain",
    "グローバルゲイン(&G)",
    "カラーゲイン G1(&C)",
    "カラーゲイン R(&C)",
    "カラーゲイン B(&C)",
    "カラーゲイン G2(&C)",
    "露光(&E)",
    "= msec",
    "上下反転",
    "左右反転",
    "オートアイリス",
    "露光",
    "ゲイン",

    "Image Filter",
    "Gray Filter",
    {"明るさ(&B)", "コントラスト(&C)", "色相(&H)", "彩度(&S)", "シャープネス(&P)", "R ゲイン(&R)",
     "G ゲイン(&G)", "B ゲイン(&B)", "ガンマ(&G)"},
    "ベイヤーモード",
    {"0", "1", "2", "3"},
    "オートホワイトバランス",
    "1回",
    "全フレーム",
    "ゲイン",
    "オフセット",
    {"赤", "緑1", "緑2", "青"},
    "フィルタモード",
    {"ベイヤー", "ベイヤー変換", "グレースケール"},
    "オートゲイン",

    "ストリーム形式",
    "カラー / 圧縮(&C):",
    {"白黒 8bit", "白黒 %dbit ※", "カラー 24bit", "カラー 32bit", "カラー 48bit ※",
     "カラー 64bit ※"},
    "サイズ(&S):",
    "カスタム",
    "サブサンプル(&B):",
    {"1/1", "1/2 Skip"},
    "H トータル",
    "V トータル",
    "H 有効",
    "V 有効",
    "H 開始",
    "V 開始",
    "待ち時間(&T):",
    "クロック(&C):",
    {"標準(24MHz)", "ハーフ(12MHz)", "高速(%dMHz)"},
    "※ WORD 転送モードでは、クロックをハーフに設定してください。",
};

}  // namespace

const DialogTexts &dialogTexts(platform::UiLanguage language) {
  return language == platform::UiLanguage::Japanese ? kJapanese : kEnglish;
}

std::string formatWithNumber(const char *pattern, int number) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, number);
  return text;
}

}  // namespace pelnik::settings
