# Sourced by scripts/install-deps.sh and tests/e2e/netns.sh.
# The system's dialog and menu fonts (Tahoma behind MS Shell Dlg) have no Chinese glyphs in
# a fresh prefix, so message boxes and menus drew empty boxes where the skinned window
# (which asks for the Chinese character set) drew the text. Linking them to WenQuanYi Micro
# Hei makes Wine draw from it only the glyphs they lack; Latin text keeps its font. Checked
# in system.reg first, so a second run costs a grep and a prefix made earlier is mended.
VERDALO_UI_FONT_LINK="wqy-microhei.ttc,WenQuanYi Micro Hei"
VERDALO_UI_FONTS=("Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" "SimSun")

verdalo_ui_fonts_linked() {
  local font
  for font in "${VERDALO_UI_FONTS[@]}"; do
    grep -qF "\"$font\"=str(7):\"$VERDALO_UI_FONT_LINK" "$1/system.reg" 2>/dev/null || return 1
  done
}

# verdalo_link_ui_fonts PREFIX: sets the links unless they are there; no wineserver of that
# prefix may be serving another namespace meanwhile (netns.sh holds the prefix's lock).
verdalo_link_ui_fonts() {
  local prefix=$1 font
  verdalo_ui_fonts_linked "$prefix" && return 0
  echo "linking the dialog fonts to WenQuanYi Micro Hei in $prefix"
  for font in "${VERDALO_UI_FONTS[@]}"; do
    WINEPREFIX=$prefix WINEDEBUG=-all timeout 60 wine reg add \
      'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$font" /t REG_MULTI_SZ /d "$VERDALO_UI_FONT_LINK" /f >/dev/null 2>&1 || true
  done
  # system.reg is written when the server ends
  WINEPREFIX=$prefix timeout 60 wineserver -w || true
  verdalo_ui_fonts_linked "$prefix" ||
    { echo "warning: dialog fonts not linked in $prefix; menus may draw Chinese as boxes" >&2; return 1; }
}
