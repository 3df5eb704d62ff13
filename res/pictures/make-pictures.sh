#!/usr/bin/env bash
# Draws the wizard's pictures with ImageMagick and the NanumGothic font
# (Debian packages imagemagick and fonts-nanum). The GIFs are committed; run
# this again only to change them.
#
#   welcome.gif   resource 128: one frame, 476 x 332
#   install.gif   resource 137: two frames on a 486 x 150 screen, 3 s each;
#                 the second, 476 x 124, lies at (5, 13) over the first
#   success.gif   resource 138: one frame, 476 x 332
#   failure.gif   resource 139: one frame, 476 x 332
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/nanum/NanumGothic.ttf
bold=/usr/share/fonts/truetype/nanum/NanumGothicBold.ttf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# still PICTURE OUT: one frame, no comment or extra blocks, 8 colours at most
# on flat grounds (each picture stays near 5 KB, which keeps the program
# small: gradients and 16 colours cost a quarter more).
still() {
  convert "$1" +dither -colors 8 -strip +repage "GIF:$2"
}

# A 476 x 332 card: a pale blue ground, a band at the top and a shield emblem.
card() {
  local out=$1 band=$2 title=$3 line1=$4 line2=$5 mark=$6
  convert -size 476x332 xc:'#eef2ff' \
    -fill "$band" -draw 'rectangle 0,0 475,64' \
    -font "$bold" -pointsize 26 -fill white -annotate +24+42 'Korvane Free' \
    -fill "$band" -stroke '#ffffff' -strokewidth 3 \
    -draw 'path "M 238,92 L 298,112 L 298,160 Q 298,208 238,236 Q 178,208 178,160 L 178,112 Z"' \
    -stroke none -fill white -font "$bold" -pointsize 44 -gravity north -annotate +0+128 "$mark" \
    -gravity north -fill '#1d2b57' -font "$bold" -pointsize 20 -annotate +0+252 "$title" \
    -font "$font" -pointsize 13 -fill '#3b4a78' -annotate +0+284 "$line1" -annotate +0+304 "$line2" \
    "$tmp/$out.png"
  still "$tmp/$out.png" "$out.gif"
}

card welcome '#2f5fd0' 'Korvane Free 설치를 시작합니다' \
  '개인 PC를 안전하게 지켜 주는 무료 보안 프로그램입니다.' \
  '다음 단계에서 사용권 계약 내용을 확인해 주십시오.' 'K'
card success '#2f9a5a' '설치가 완료되었습니다' \
  'Korvane Free가 PC를 보호할 준비를 마쳤습니다.' \
  '완료 단추를 누르면 설치 마법사가 닫힙니다.' 'OK'
# The failure card leaves its first line blank: the failure page shows the
# reason there, in a text of its own (res/QVSetup.rc, IDD_FAIL_PAGE).
# "Setup did not complete" / (reason) / "Solve the problem, then run setup
# again."
card failure '#c0453a' '설치하지 못했습니다' \
  '' \
  '문제를 해결한 뒤 설치 프로그램을 다시 실행해 주십시오.' '!'

# Install animation: frame 1 fills the 486 x 150 screen; frame 2 is drawn over
# it at (5, 13). Neither frame disposes of its area (disposal 1); the player
# clears the surface when it returns to frame 1.
convert -size 486x150 xc:'#e4ebff' \
  -fill '#2f5fd0' -draw 'roundrectangle 8,16 478,140 12,12' \
  -font "$bold" -pointsize 20 -fill white -gravity center -annotate +0-14 '파일을 내려받아 설치하고 있습니다' \
  -font "$font" -pointsize 13 -annotate +0+18 '창을 닫지 말고 잠시 기다려 주십시오.' \
  "$tmp/install1.png"
convert -size 476x124 xc:'#2f9a5a' \
  -fill '#ffffff' -draw 'roundrectangle 10,10 465,113 10,10' \
  -font "$bold" -pointsize 20 -fill '#2f9a5a' -gravity center -annotate +0-14 'PC 보호 기능을 준비하고 있습니다' \
  -font "$font" -pointsize 13 -fill '#3b4a78' -annotate +0+18 '설치가 끝나면 결과 화면이 나타납니다.' \
  "$tmp/install2.png"
convert -dispose None -delay 300 \( "$tmp/install1.png" +dither -colors 8 -repage 486x150+0+0 \) \
  -dispose None -delay 300 \( "$tmp/install2.png" +dither -colors 8 -repage 486x150+5+13 \) \
  -loop 0 -strip "GIF:$tmp/install.gif"
# Keep the frames exactly as drawn (no optimisation that would crop them).
cp "$tmp/install.gif" install.gif

# Program icon 128: the shield on 32 x 32 and 16 x 16, 16 colours with a
# transparency mask (the form every Windows version shows; about 1 KB).
convert -size 64x64 xc:none -fill '#2f5fd0' -stroke white -strokewidth 3 \
  -draw 'path "M 32,4 L 58,13 L 58,32 Q 58,52 32,61 Q 6,52 6,32 L 6,13 Z"' \
  -stroke none -fill white -font "$bold" -pointsize 30 -gravity center -annotate +0+1 'K' \
  "$tmp/icon.png"
convert "$tmp/icon.png" \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) -delete 0 \
  -channel A -threshold 50% +channel -background none +dither -colors 16 ../QVSetup.ico
