#!/bin/sh
# Registers the stand-in DAO server in the Wine prefix named by WINEPREFIX and checks that
# "DAO.DBEngine.120" now names it. Refuses to work on Wine's default prefix.
set -eu
dll=${1:?usage: register-dao-server.sh <DaoServer.dll>}
if [ -z "${WINEPREFIX:-}" ] || [ "$(realpath -m "$WINEPREFIX")" = "$(realpath -m "$HOME/.wine")" ]; then
  echo "register-dao-server.sh: set WINEPREFIX to a test prefix (scripts/wine-prefix.sh makes one)" >&2
  exit 1
fi
wine regsvr32 /s "$(winepath -w "$dll")"
wine reg query 'HKCR\DAO.DBEngine.120\CLSID' | tr -d '\r' | grep -q '{667C4687-A567-42B9-98E9-D83BCEB6CA6D}' || {
  echo "register-dao-server.sh: DAO.DBEngine.120 is not the stand-in after registering $dll" >&2
  exit 1
}
echo "stand-in DAO server registered in $WINEPREFIX"
