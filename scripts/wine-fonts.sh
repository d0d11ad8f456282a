#!/usr/bin/env bash
# Wine draws dialogs in Tahoma-like fonts without CJK glyphs: link the host's
# Noto CJK fonts behind them, as Windows links its own CJK fonts, so that the
# Japanese, Korean and Chinese texts show under Wine too. Idempotent.
set -euo pipefail
# shellcheck source=scripts/wine-reg.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-reg.sh"
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
link='NotoSansCJK-Regular.ttc,Noto Sans CJK JP\0NotoSansCJK-Regular.ttc,Noto Sans CJK KR\0NotoSansCJK-Regular.ttc,Noto Sans CJK SC\0NotoSansCJK-Regular.ttc,Noto Sans CJK TC'
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" "MS UI Gothic"; do
    wine_reg_add "$key" /v "$face" /t REG_MULTI_SZ /d "$link"
done
