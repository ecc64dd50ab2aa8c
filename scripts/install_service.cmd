@echo off
rem Installs and starts VelkVPNService (run from an elevated prompt).
rem   install_service.cmd [folder]
rem The folder holds VelkVPNService.exe with netsteer.exe and xray.exe beside
rem it; without an argument, the folder of this script. The service runs as
rem LocalSystem and starts with Windows.
setlocal
set "DIR=%~1"
if "%DIR%"=="" set "DIR=%~dp0"
if not "%DIR:~-1%"=="\" set "DIR=%DIR%\"
if not exist "%DIR%VelkVPNService.exe" (
  echo VelkVPNService.exe is not in "%DIR%". 1>&2
  exit /b 1
)
sc.exe query VelkVPNService >nul 2>&1
if not errorlevel 1 (
  echo VelkVPNService is already installed; run uninstall_service.cmd first. 1>&2
  exit /b 1
)
sc.exe create VelkVPNService binPath= "\"%DIR%VelkVPNService.exe\"" start= auto obj= LocalSystem DisplayName= "VelkVPN Service"
if errorlevel 1 exit /b 1
sc.exe description VelkVPNService "Starts the VPN core and changes the routes for the VelkVPN client."
sc.exe start VelkVPNService
if errorlevel 1 exit /b 1
exit /b 0
