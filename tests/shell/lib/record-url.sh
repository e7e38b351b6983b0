#!/bin/sh
# Wine's winebrowser hands a URL it is asked to open to this script instead of the host's browser
# (the prefix's WineBrowser "Browsers" value points here): it only writes the URL down.
# $1 is the file to append to, $2 the URL.
printf '%s\n' "$2" >>"$1"
