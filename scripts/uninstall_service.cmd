@echo off
rem Stops and removes VelkVPNService (run from an elevated prompt). Stopping
rem the service also ends a core it started.
setlocal
sc.exe query VelkVPNService >nul 2>&1
if errorlevel 1 (
  echo VelkVPNService is not installed.
  exit /b 0
)
sc.exe stop VelkVPNService >nul 2>&1
rem Wait up to 30 s for STOPPED before removing it.
for /l %%i in (1,1,30) do (
  sc.exe query VelkVPNService | find "STOPPED" >nul && goto stopped
  ping -n 2 127.0.0.1 >nul
)
echo VelkVPNService did not stop; removing it anyway. 1>&2
:stopped
sc.exe delete VelkVPNService
if errorlevel 1 exit /b 1
exit /b 0
