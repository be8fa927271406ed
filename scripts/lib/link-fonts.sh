# Chinese text needs a font that holds it: link the fonts Wine's controls draw with to
# WenQuanYi Micro Hei (fonts-wqy-microhei). Sourced by scripts/sandbox at every start.
link_chinese_fonts() {
  local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  local f
  for f in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" "Arial"; do
    wine reg add "$key" /v "$f" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f \
      </dev/null >/dev/null 2>&1 || return 1
  done
}
