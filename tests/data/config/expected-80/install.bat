@echo off
rem 安装 Apache 与 MySQL 服务（由配置程序生成，端口见下）
cd /d "D:\srv\web\"
echo 安装开始，网址 http://localhost/> "%~dp0install.log"
rem "D:\srv\web\local\Apache2\bin\httpd.exe" -k install -n Apache2
rem "D:\srv\web\local\mysql5\bin\mysqld.exe" --install MySQL5 --defaults-file="D:\srv\web\local\mysql5\my.ini"
echo 安装完成>> "%~dp0install.log"

