@echo off
rem Installs and starts VelkVPNService without the MSI (run from an elevated
rem prompt).
rem   install_service.cmd [folder]
rem The folder holds VelkVPNService.exe, netsteer.exe, velkctl.exe,
rem velksetup.exe and, if you ship one, xray.exe; without an argument, the
rem folder of this script. The programs are copied to
rem "%ProgramFiles%\VelkVPN" and the service is registered from there: a
rem LocalSystem service must never run programs from a folder that other users
rem can write to (Downloads, the desktop, an unpacked ZIP). The settings are
rem the MSI's: own process, automatic start, LocalSystem, restarted 5 s after a
rem failure (three times, the count reset after a day), with its event log
rem source, the group "VelkVPN Users" holding the user who runs this, and the
rem data folder "C:\ProgramData\VELK-VPN" for SYSTEM and Administrators only.
setlocal
set "SRC=%~1"
if "%SRC%"=="" set "SRC=%~dp0"
if not "%SRC:~-1%"=="\" set "SRC=%SRC%\"
rem ProgramW6432 names the 64-bit Program Files even in a 32-bit prompt.
set "PF=%ProgramW6432%"
if "%PF%"=="" set "PF=%ProgramFiles%"
set "DEST=%PF%\VelkVPN\"
rem One-line loop bodies: Wine's cmd stops at a block nested in a loop.
set "MISSING="
for %%f in (VelkVPNService.exe netsteer.exe velkctl.exe velksetup.exe) do if not exist "%SRC%%%f" set "MISSING=%%f"
if defined MISSING (
  echo %MISSING% is not in "%SRC%". 1>&2
  exit /b 1
)
sc.exe query VelkVPNService >nul 2>&1
if not errorlevel 1 (
  echo VelkVPNService is already installed; run uninstall_service.cmd or remove the MSI first. 1>&2
  exit /b 1
)
if not exist "%DEST%" mkdir "%DEST%"
if not exist "%DEST%" (
  echo Could not create "%DEST%". 1>&2
  exit /b 1
)
if /i "%SRC%"=="%DEST%" goto copied
set "FAILED="
for %%f in (VelkVPNService.exe netsteer.exe velkctl.exe velksetup.exe xray.exe) do if exist "%SRC%%%f" call :copy %%f
if defined FAILED (
  echo Could not copy %FAILED% to "%DEST%". 1>&2
  exit /b 1
)
:copied
if not exist "%DEST%xray.exe" echo No xray.exe yet: put the proxy core into "%DEST%". 1>&2
sc.exe create VelkVPNService binPath= "\"%DEST%VelkVPNService.exe\"" type= own start= auto obj= LocalSystem DisplayName= "VelkVPN Service"
if errorlevel 1 exit /b 1
sc.exe description VelkVPNService "Starts the VPN core and changes the routes for the VelkVPN client."
"%DEST%velksetup.exe" restart-on-failure
if errorlevel 1 goto undo
rem The event log source, and the group "VelkVPN Users" with the user who runs
rem this script in it, so that this user's VelkVPN client may use the service.
"%DEST%velksetup.exe" register-events
if errorlevel 1 goto undo
"%DEST%velksetup.exe" add-group
if errorlevel 1 goto undo
rem The data folder, for SYSTEM and Administrators only, before the service
rem first starts; the service checks it again as it starts.
"%DEST%velksetup.exe" make-data-folder
if errorlevel 1 echo The data folder could not be made ready; the service tries again as it starts. 1>&2
sc.exe start VelkVPNService
if errorlevel 1 exit /b 1
exit /b 0

:undo
sc.exe delete VelkVPNService >nul
"%DEST%velksetup.exe" unregister-events >nul 2>&1
exit /b 1

:copy
copy /y "%SRC%%~1" "%DEST%" >nul
if errorlevel 1 set "FAILED=%~1"
exit /b 0
