@echo off
rem Ð¶ÔØ Apache Óë MySQL ·þÎñ
"[xpath]local\Apache2\bin\httpd.exe" -k uninstall -n Apache2
"[xpath]local\mysql5\bin\mysqld.exe" --remove MySQL5
