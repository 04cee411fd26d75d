@echo off
rem 卸载 Apache 与 MySQL 服务
rem 停止示例捆绑包的站点替身服务器（有它时）
if exist "D:\srv\web\SiteStandIn.exe" "D:\srv\web\SiteStandIn.exe" --stop
"D:\srv\web\local\Apache2\bin\httpd.exe" -k uninstall -n Apache2
"D:\srv\web\local\mysql5\bin\mysqld.exe" --remove MySQL5

