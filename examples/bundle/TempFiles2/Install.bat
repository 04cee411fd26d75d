@echo off
rem 安装 Apache 与 MySQL 服务（由配置程序生成，端口见下）
cd /d "[xpath]"
echo 安装开始，网址 http://localhost[port2]/> "%~dp0install.log"
rem "[xpath]local\Apache2\bin\httpd.exe" -k install -n Apache2
rem "[xpath]local\mysql5\bin\mysqld.exe" --install MySQL5 --defaults-file="[xpath]local\mysql5\my.ini"
rem 示例捆绑包没有 Apache 和 MySQL：有站点替身服务器 SiteStandIn.exe 时，由它在网站的端口
rem 和 my.ini 的数据库端口 3306 上应答（没有它时什么也不启动）
set "standin_port=80"
if not "[port2]"=="" set "standin_port=[port2]"
set "standin_port=%standin_port::=%"
if exist "[xpath]SiteStandIn.exe" start "" "[xpath]SiteStandIn.exe" %standin_port% 3306
echo 安装完成>> "%~dp0install.log"
