@echo off
rem 卸载 Apache 与 MySQL 服务
rem 停止示例捆绑包的站点替身服务器（有它时）
if exist "[xpath]SiteStandIn.exe" "[xpath]SiteStandIn.exe" --stop
rem 先停止服务再删除：正在运行的服务被删除时只会被标记为删除
net stop Apache2
"[xpath]local\Apache2\bin\httpd.exe" -k uninstall -n Apache2
net stop MySQL5
"[xpath]local\mysql5\bin\mysqld.exe" --remove MySQL5
