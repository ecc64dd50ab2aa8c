@echo off
rem Stops and removes VelkVPNService and the programs that install_service.cmd
rem copied to "%ProgramFiles%\VelkVPN" (run from an elevated prompt). Stopping
rem the service also ends a core it started; a routing that netsteer saved is
rem put back before the programs go, and the group "VelkVPN Users" and the
rem event log source are removed. The logs in C:\ProgramData stay.
setlocal
set "PF=%ProgramW6432%"
if "%PF%"=="" set "PF=%ProgramFiles%"
set "DEST=%PF%\VelkVPN\"
sc.exe query VelkVPNService >nul 2>&1
if errorlevel 1 (
  echo VelkVPNService is not installed.
  goto files
)
sc.exe stop VelkVPNService >nul 2>&1
rem Wait up to 30 s for STOPPED before removing it.
for /l %%i in (1,1,30) do (
  sc.exe query VelkVPNService | find "STOPPED" >nul && goto stopped
  ping -n 2 127.0.0.1 >nul
)
echo VelkVPNService did not stop; removing it anyway. 1>&2
:stopped
if exist "%DEST%velksetup.exe" "%DEST%velksetup.exe" restore-routes
sc.exe delete VelkVPNService
if errorlevel 1 exit /b 1
if exist "%DEST%velksetup.exe" "%DEST%velksetup.exe" remove-group
if exist "%DEST%velksetup.exe" "%DEST%velksetup.exe" unregister-events
:files
if not exist "%DEST%" exit /b 0
for %%f in (VelkVPNService.exe netsteer.exe velkctl.exe velksetup.exe xray.exe) do if exist "%DEST%%%f" del /f /q "%DEST%%%f"
rmdir "%DEST%" 2>nul
exit /b 0
