@echo off
rem Ð¶ÔØ Apache Óë MySQL ·þÎñ
"D:\srv\web\local\Apache2\bin\httpd.exe" -k uninstall -n Apache2
"D:\srv\web\local\mysql5\bin\mysqld.exe" --remove MySQL5

