<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>CalibrationWindow</name>
    <message>
        <source>校准</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>开始校准</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>被测单元与参考仪器</source>
        <translation>Unit and reference instrument</translation>
    </message>
    <message>
        <source>允许使用过期的参考仪器</source>
        <translation>Allow an expired reference instrument</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>操作员</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>参考仪器</source>
        <translation>Ref. instrument</translation>
    </message>
    <message>
        <source>有效期</source>
        <translation>Valid until</translation>
    </message>
    <message>
        <source>参考值</source>
        <translation>Reference</translation>
    </message>
    <message>
        <source>允许偏差</source>
        <translation>Tolerance</translation>
    </message>
    <message>
        <source>稳定状态</source>
        <translation>Stability</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>湿度</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>采样次数</source>
        <translation>Samples</translation>
    </message>
    <message>
        <source>稳定时间</source>
        <translation>Settle time</translation>
    </message>
    <message>
        <source>最长等待</source>
        <translation>Max. wait</translation>
    </message>
    <message>
        <source>校准前读数</source>
        <translation>Before</translation>
    </message>
    <message>
        <source>修正</source>
        <translation>Correction</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>校准后读数</source>
        <translation>After</translation>
    </message>
    <message>
        <source>结论</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>稳定（跨度 %1）</source>
        <translation>Stable (span %1)</translation>
    </message>
    <message>
        <source>未稳定（跨度 %1）</source>
        <translation>Not stable (span %1)</translation>
    </message>
    <message>
        <source>读数不足</source>
        <translation>Too few readings</translation>
    </message>
    <message>
        <source>正在读取设备参数</source>
        <translation>Reading the device parameters</translation>
    </message>
    <message>
        <source>等待读数稳定</source>
        <translation>Waiting for stable readings</translation>
    </message>
    <message>
        <source>正在采样（校准前）</source>
        <translation>Sampling (before)</translation>
    </message>
    <message>
        <source>正在写入修正</source>
        <translation>Writing the corrections</translation>
    </message>
    <message>
        <source>正在读回修正</source>
        <translation>Reading the corrections back</translation>
    </message>
    <message>
        <source>正在验证（校准后）</source>
        <translation>Verifying (after)</translation>
    </message>
    <message>
        <source>校准完成：合格</source>
        <translation>Calibration done: pass</translation>
    </message>
    <message>
        <source>读数在 %1 s 内未稳定，未写入修正</source>
        <translation>Readings not stable within %1 s; no correction written</translation>
    </message>
    <message>
        <source>不合格：修正超出 -10.0…10.0，未写入</source>
        <translation>Fail: correction outside -10.0…10.0, not written</translation>
    </message>
    <message>
        <source>不合格：读回的修正与写入的不同</source>
        <translation>Fail: the correction read back differs from the one written</translation>
    </message>
    <message>
        <source>不合格：校准后读数超出允许偏差</source>
        <translation>Fail: readings after calibration outside the tolerance</translation>
    </message>
    <message>
        <source>设备无有效应答（%1）</source>
        <translation>No valid reply from the device (%1)</translation>
    </message>
    <message>
        <source>连接已断开</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>校准已停止</source>
        <translation>Calibration stopped</translation>
    </message>
    <message>
        <source>参考仪器已过期（有效期 %1），未开始校准</source>
        <translation>Reference instrument expired (valid until %1); not started</translation>
    </message>
    <message>
        <source>请至少勾选温度或湿度</source>
        <translation>Tick temperature or humidity</translation>
    </message>
    <message>
        <source>尚无读数</source>
        <translation>No readings yet</translation>
    </message>
    <message>
        <source>已写入</source>
        <translation>Written</translation>
    </message>
    <message>
        <source>超出范围</source>
        <translation>Out of range</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
</context>
<context>
    <name>Link</name>
    <message>
        <source>硬件决定</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>湿度在前</source>
        <translation>RH first</translation>
    </message>
    <message>
        <source>温度在前</source>
        <translation>T first</translation>
    </message>
    <message>
        <source>℃<byte value="xd"/>
</source>
        <translation>℃<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>1.检查设备与USB工具连接是否正确<byte value="xd"/>
</source>
        <translation>1. Check the device and the USB adapter are wired correctly<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>2.检查串口是否选择正确<byte value="xd"/>
</source>
        <translation>2. Check the right serial port is selected<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>3.波特率是否选择正确<byte value="xd"/>
4.站号是否选择正确<byte value="xd"/>
</source>
        <translation>3. Check the baud rate<byte value="xd"/>
4. Check the station address<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>设备地址为：</source>
        <translation>Device address: </translation>
    </message>
    <message>
        <source>读取设备地址：失败(超时)</source>
        <translation>Read device address: failed (time-out)</translation>
    </message>
    <message>
        <source>设备波特率为：</source>
        <translation>Device baud rate: </translation>
    </message>
    <message>
        <source>读取波特率：失败(超时)</source>
        <translation>Read baud rate: failed (time-out)</translation>
    </message>
    <message>
        <source>设备温度修正为：</source>
        <translation>Device temperature correction: </translation>
    </message>
    <message>
        <source>读取温度修正：失败(超时)</source>
        <translation>Read temperature correction: failed (time-out)</translation>
    </message>
    <message>
        <source>设备湿度修正为：</source>
        <translation>Device humidity correction: </translation>
    </message>
    <message>
        <source>读取湿度修正：失败(超时)</source>
        <translation>Read humidity correction: failed (time-out)</translation>
    </message>
    <message>
        <source>温湿度对调：</source>
        <translation>Value order: </translation>
    </message>
    <message>
        <source>读取设备温湿度调换状态：失败(超时)</source>
        <translation>Read value order: failed (time-out)</translation>
    </message>
    <message>
        <source>正在写入设备的温度修正为：</source>
        <translation>Writing the temperature correction: </translation>
    </message>
    <message>
        <source>写入设备温度修正：失败(超时)</source>
        <translation>Write temperature correction: failed (time-out)</translation>
    </message>
    <message>
        <source>正在写入设备的湿度修正为：</source>
        <translation>Writing the humidity correction: </translation>
    </message>
    <message>
        <source>写入设备湿度修正：失败(超时)</source>
        <translation>Write humidity correction: failed (time-out)</translation>
    </message>
    <message>
        <source>正在写入温湿度对调为：</source>
        <translation>Writing the value order: </translation>
    </message>
    <message>
        <source>写入温湿度对调：失败(超时)</source>
        <translation>Write value order: failed (time-out)</translation>
    </message>
    <message>
        <source>正在写入设备的地址为：</source>
        <translation>Writing the device address: </translation>
    </message>
    <message>
        <source>写入设备地址：失败(超时)</source>
        <translation>Write device address: failed (time-out)</translation>
    </message>
    <message>
        <source>正在写入设备的波特率为：</source>
        <translation>Writing the device baud rate: </translation>
    </message>
    <message>
        <source>写入设备波特率：失败(超时)</source>
        <translation>Write device baud rate: failed (time-out)</translation>
    </message>
    <message>
        <source>发送重启：失败(超时)</source>
        <translation>Send restart: failed (time-out)</translation>
    </message>
</context>
<context>
    <name>MovraTestTool</name>
    <message>
        <source> 手动连接设备中，请等待</source>
        <translation> Connecting, please wait</translation>
    </message>
    <message>
        <source> 自动连接设备中，请等待</source>
        <translation> Scanning for the device, please wait</translation>
    </message>
    <message>
        <source> 设备连接成功</source>
        <translation> Device connected</translation>
    </message>
    <message>
        <source> 连接失败,请检查线路连接及串口编号是否正确</source>
        <translation> Connection failed, check the wiring and the serial port</translation>
    </message>
    <message>
        <source> 设备已断开 请重新连接</source>
        <translation> Device disconnected, please reconnect</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>选择全部</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>	误差：</source>
        <translation>	Error </translation>
    </message>
    <message>
        <source>小于</source>
        <translation> &lt; </translation>
    </message>
    <message>
        <source>大于</source>
        <translation> &gt; </translation>
    </message>
    <message>
        <source>合格<byte value="xd"/>
</source>
        <translation> pass<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation> fail</translation>
    </message>
    <message>
        <source>	湿度:</source>
        <translation>	Humi: </translation>
    </message>
    <message>
        <source>	温度:</source>
        <translation>	Temp: </translation>
    </message>
    <message>
        <source>℃</source>
        <translation>℃</translation>
    </message>
    <message>
        <source>欢迎使用Ardeno的产品<byte value="xd"/>
<byte value="xd"/>
技术支持：support@ardeno.example<byte value="xd"/>
<byte value="xd"/>
 https://www.ardeno.example</source>
        <translation>Welcome to Ardeno products<byte value="xd"/>
<byte value="xd"/>
Support: support@ardeno.example<byte value="xd"/>
<byte value="xd"/>
 https://www.ardeno.example</translation>
    </message>
    <message>
        <source>欢迎使用-技术支持 </source>
        <translation>Welcome - support </translation>
    </message>
    <message>
        <source>设备连接成功,波特率为：</source>
        <translation>Device connected, baud rate: </translation>
    </message>
    <message>
        <source>自动连接超时</source>
        <translation>Auto connect timed out</translation>
    </message>
    <message>
        <source>手动连接超时</source>
        <translation>Connect timed out</translation>
    </message>
    <message>
        <source>命令写入失败</source>
        <translation>Write command failed</translation>
    </message>
    <message>
        <source>批量写入参数失败</source>
        <translation>Writing parameters failed</translation>
    </message>
    <message>
        <source>批量读取参数失败</source>
        <translation>Reading parameters failed</translation>
    </message>
    <message>
        <source>刷新串口</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>无可用串口</source>
        <translation>No serial port</translation>
    </message>
    <message>
        <source>请刷新串口</source>
        <translation>Please refresh the serial ports</translation>
    </message>
    <message>
        <source>串口操作错误</source>
        <translation>Serial port error</translation>
    </message>
    <message>
        <source>请检查当前选择的串口是否可用!<byte value="xd"/>
<byte value="xd"/>
</source>
        <translation>Check that the selected serial port is available!<byte value="xd"/>
<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>已经关闭测试模式<byte value="xd"/>
</source>
        <translation>Test mode closed<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>打开测试模式</source>
        <translation>Test mode</translation>
    </message>
    <message>
        <source>密码输入</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>请输入程序维护密码</source>
        <translation>Enter the maintenance password</translation>
    </message>
    <message>
        <source>测试模式验证成功<byte value="xd"/>
</source>
        <translation>Test mode password accepted<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>关闭测试模式</source>
        <translation>Exit test</translation>
    </message>
    <message>
        <source>测试模式失败,请联系厂家获取密码<byte value="xd"/>
</source>
        <translation>Test mode refused, ask the maker for the password<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>保存日志…</source>
        <translation>Save log…</translation>
    </message>
    <message>
        <source>测试记录…</source>
        <translation>Test records…</translation>
    </message>
    <message>
        <source>趋势与统计…</source>
        <translation>Trend and statistics…</translation>
    </message>
    <message>
        <source>校准…</source>
        <translation>Calibration…</translation>
    </message>
    <message>
        <source>日志_%1.txt</source>
        <translation>log_%1.txt</translation>
    </message>
    <message>
        <source>保存日志</source>
        <translation>Save log</translation>
    </message>
    <message>
        <source>文本文件 (*.txt)</source>
        <translation>Text files (*.txt)</translation>
    </message>
    <message>
        <source>日志未能保存：</source>
        <translation>The log was not saved: </translation>
    </message>
</context>
<context>
    <name>MovraTestToolClass</name>
    <message>
        <source>Ardeno温湿度工具</source>
        <translation>Ardeno temperature and humidity tool</translation>
    </message>
    <message>
        <source>端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>刷新串口</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud:</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>38400</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>57600</source>
        <translation>57600</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>自动连接</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>连接设备</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>断开连接</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>站号：</source>
        <translation>Station:</translation>
    </message>
    <message>
        <source>温度：</source>
        <translation>Temp:</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;这是读取的当前温度值&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;The temperature last read&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>℃</source>
        <translation>℃</translation>
    </message>
    <message>
        <source>湿度：</source>
        <translation>Humi:</translation>
    </message>
    <message>
        <source>%</source>
        <translation>%</translation>
    </message>
    <message>
        <source>手动读取</source>
        <translation>Read now</translation>
    </message>
    <message>
        <source>设备参数</source>
        <translation>Device parameters</translation>
    </message>
    <message>
        <source>温度微调:</source>
        <translation>Temp corr:</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>湿度微调:</source>
        <translation>Humi corr:</translation>
    </message>
    <message>
        <source>温湿度对调:</source>
        <translation>Order:</translation>
    </message>
    <message>
        <source>硬件决定</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>湿度在前</source>
        <translation>RH first</translation>
    </message>
    <message>
        <source>温度在前</source>
        <translation>T first</translation>
    </message>
    <message>
        <source>连接时读参数</source>
        <translation>Read at link</translation>
    </message>
    <message>
        <source>修改参数</source>
        <translation>Change parameters</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>湿度微调：</source>
        <translation>Humi corr:</translation>
    </message>
    <message>
        <source>温度微调：</source>
        <translation>Temp corr:</translation>
    </message>
    <message>
        <source>打开测试模式</source>
        <translation>Test mode</translation>
    </message>
    <message>
        <source>温湿度自动读取</source>
        <translation>Periodic reading</translation>
    </message>
    <message>
        <source>温度读取间隔：</source>
        <translation>Temp every</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>湿度读取间隔：</source>
        <translation>Humi every</translation>
    </message>
    <message>
        <source>清除窗口</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;SimSun&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;欢迎使用Ardeno的产品V1.31 技术支持：support@ardeno.example&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;SimSun&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Welcome to Ardeno products V1.31 Support: support@ardeno.example&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>温度基准：</source>
        <translation>Temp ref:</translation>
    </message>
    <message>
        <source>误差：</source>
        <translation>Tol.:</translation>
    </message>
    <message>
        <source>湿度基准：</source>
        <translation>Humi ref:</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>日志保存</source>
        <translation>Save log</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>Records</name>
    <message>
        <source>中央记录库 %1 已恢复连接，继续上传记录。</source>
        <translation>Central records %1 reachable again; uploading resumes.</translation>
    </message>
    <message>
        <source>中央记录库 %1 无法连接（%2）。记录保留在本地，恢复后补传。</source>
        <translation>Central records %1 unreachable (%2). Records are kept here and uploaded later.</translation>
    </message>
    <message>
        <source>中央记录库 %1 不接受记录（%2）。记录保留在本地，稍后重试。</source>
        <translation>Central records %1 refuse records (%2). Records are kept here; retrying later.</translation>
    </message>
    <message>
        <source>测试记录库 %1 已恢复，补写了暂存的 %2 条记录。</source>
        <translation>Record store %1 is back; %2 held records written.</translation>
    </message>
    <message>
        <source>另有 %1 条因超过暂存上限而丢失。</source>
        <translation> %1 more were lost beyond the holding limit.</translation>
    </message>
    <message>
        <source>测试记录库不可用期间暂存在内存中的记录已达上限 %1 条；记录库恢复之前，之后的记录不再保存。</source>
        <translation>The records held in memory while the store is unavailable reached the limit of %1; later records are not kept until the store is back.</translation>
    </message>
    <message>
        <source>中央记录库地址 %1 无效：%2。记录只保存在本地。</source>
        <translation>Central records address %1 is not valid: %2. Records are kept here only.</translation>
    </message>
    <message>
        <source>连接 </source>
        <translation>Connected </translation>
    </message>
    <message>
        <source>连接失败 </source>
        <translation>Connection failed </translation>
    </message>
    <message>
        <source> %1 波特，%2模式</source>
        <translation> %1 Bd, %2 mode</translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
    <message>
        <source>，地址 %1</source>
        <translation>, address %1</translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation> (%1)</translation>
    </message>
    <message>
        <source>地址 </source>
        <translation>address </translation>
    </message>
    <message>
        <source>波特率 </source>
        <translation>baud rate </translation>
    </message>
    <message>
        <source>温度修正 </source>
        <translation>temperature correction </translation>
    </message>
    <message>
        <source>湿度修正 </source>
        <translation>humidity correction </translation>
    </message>
    <message>
        <source>温湿度对调 </source>
        <translation>value order </translation>
    </message>
    <message>
        <source>批量读取：</source>
        <translation>Batch read: </translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>读数判定</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>参数写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>批量读取</source>
        <translation>Batch read</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>测试</source>
        <translation>test</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>湿度</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>设备地址</source>
        <translation>address</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>baud rate</translation>
    </message>
    <message>
        <source>温度修正</source>
        <translation>temperature correction</translation>
    </message>
    <message>
        <source>湿度修正</source>
        <translation>humidity correction</translation>
    </message>
    <message>
        <source>温湿度对调</source>
        <translation>value order</translation>
    </message>
    <message>
        <source>操作员断开</source>
        <translation>Disconnected by the operator</translation>
    </message>
    <message>
        <source>串口丢失</source>
        <translation>Serial port lost</translation>
    </message>
    <message>
        <source>%1 %2 %3，参考 %4 ± %5，偏差 %6</source>
        <translation>%1 %2 %3, reference %4 ± %5, deviation %6</translation>
    </message>
    <message>
        <source>写入%1 %2：%3</source>
        <translation>Write %1 %2: %3</translation>
    </message>
    <message>
        <source>已确认</source>
        <translation>confirmed</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>从格式版本 %1 升级失败：</source>
        <translation>Upgrade from format version %1 failed: </translation>
    </message>
    <message>
        <source>不是有效的地址</source>
        <translation>not a valid address</translation>
    </message>
    <message>
        <source>只支持 postgresql:// 地址</source>
        <translation>only postgresql:// addresses are supported</translation>
    </message>
    <message>
        <source>地址中缺少数据库名</source>
        <translation>the address has no database name</translation>
    </message>
    <message>
        <source>记录暂存在内存中，稍后自动重试。</source>
        <translation>Records are held in memory and retried later.</translation>
    </message>
    <message>
        <source>测试记录库 %1 无法打开（%2）。</source>
        <translation>Record store %1 cannot be opened (%2). </translation>
    </message>
    <message>
        <source>测试记录库 %1 是只读的，无法写入（%2）。</source>
        <translation>Record store %1 is read-only (%2). </translation>
    </message>
    <message>
        <source>测试记录库 %1 被另一个程序锁住（%2）。</source>
        <translation>Record store %1 is locked by another program (%2). </translation>
    </message>
    <message>
        <source>测试记录库 %1 已损坏（%2），本软件不再改动它。请把它移走或修复；在此之前记录暂存在内存中。</source>
        <translation>Record store %1 is damaged (%2); this program leaves it alone. Move or repair it; until then records are held in memory.</translation>
    </message>
    <message>
        <source>磁盘已满，测试记录库 %1 无法写入（%2）。记录暂存在内存中，腾出空间后自动写入。</source>
        <translation>The disk is full; record store %1 cannot be written (%2). Records are held in memory and written once there is space.</translation>
    </message>
    <message>
        <source>测试记录库 %1 由较新版本的软件写入（格式版本 %2，本软件只认识到 %3），本软件不改动它。记录暂存在内存中。</source>
        <translation>Record store %1 was written by a newer version (format %2; this one knows up to %3) and is left alone. Records are held in memory.</translation>
    </message>
    <message>
        <source>%1 不是测试记录库（其中有别的数据），本软件不改动它。记录暂存在内存中。</source>
        <translation>%1 is not a record store (it holds other data) and is left alone. Records are held in memory.</translation>
    </message>
    <message>
        <source>读写测试记录库 %1 出错（%2）。</source>
        <translation>Error reading or writing record store %1 (%2). </translation>
    </message>
    <message>
        <source>一条测试记录无法存入记录库 %1（%2），已跳过。</source>
        <translation>A record could not be stored in %1 (%2) and was skipped.</translation>
    </message>
    <message>
        <source>%1校准：参考 %2 ± %3 %4，校准前 %5，修正 %6 → %7（%8），校准后 %9</source>
        <translation>%1 calibration: reference %2 ± %3 %4, as found %5, correction %6 → %7 (%8), as left %9</translation>
    </message>
    <message>
        <source>已写入</source>
        <translation>written</translation>
    </message>
    <message>
        <source>未写入</source>
        <translation>not written</translation>
    </message>
    <message>
        <source>校准</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>关闭本软件时仍未写入的记录将丢失。</source>
        <translation> Records not yet written when the tool is closed are lost.</translation>
    </message>
</context>
<context>
    <name>RecordsWindow</name>
    <message>
        <source>测试记录</source>
        <translation>Test records</translation>
    </message>
    <message>
        <source>所选单元的记录：</source>
        <translation>Records of the selected unit:</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>未判定</source>
        <translation>Not judged</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>S/N</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>导出 CSV…</source>
        <translation>Export CSV…</translation>
    </message>
    <message>
        <source>至</source>
        <translation>to</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>共 %1 个单元</source>
        <translation>Units: %1</translation>
    </message>
    <message>
        <source>测试记录_%1.csv</source>
        <translation>records_%1.csv</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>已导出到 %1</source>
        <translation>Exported to %1</translation>
    </message>
    <message>
        <source>导出失败：%1</source>
        <translation>Export failed: %1</translation>
    </message>
</context>
<context>
    <name>TrendWindow</name>
    <message>
        <source>趋势与统计</source>
        <translation>Trend and statistics</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>温度 (℃)</source>
        <translation>Temperature (℃)</translation>
    </message>
    <message>
        <source>湿度 (%RH)</source>
        <translation>Humidity (%RH)</translation>
    </message>
    <message>
        <source>温度参考 ± 容差</source>
        <translation>Temperature reference ± tolerance</translation>
    </message>
    <message>
        <source>湿度参考 ± 容差</source>
        <translation>Humidity reference ± tolerance</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>湿度</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>温度超差</source>
        <translation>Temperature out of tolerance</translation>
    </message>
    <message>
        <source>湿度超差</source>
        <translation>Humidity out of tolerance</translation>
    </message>
    <message>
        <source>跟随</source>
        <translation>Follow</translation>
    </message>
    <message>
        <source>最新读数始终在右端</source>
        <translation>Keeps the newest reading at the right edge</translation>
    </message>
    <message>
        <source>滚轮缩放，拖动平移；← → 平移，+ − 缩放，Home 回到最近一小时</source>
        <translation>Wheel zooms, dragging pans; ← → pan, + − zoom, Home shows the last hour</translation>
    </message>
    <message>
        <source>导出图片…</source>
        <translation>Export image…</translation>
    </message>
    <message>
        <source>导出 CSV…</source>
        <translation>Export CSV…</translation>
    </message>
    <message>
        <source>无法保存到 %1</source>
        <translation>Cannot save to %1</translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export image</translation>
    </message>
    <message>
        <source>趋势.png</source>
        <translation>trend.png</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>趋势.csv</source>
        <translation>trend.csv</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>已导出图片：%1</source>
        <translation>Image exported: %1</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>Cannot write %1</translation>
    </message>
    <message>
        <source>已导出 CSV：%1</source>
        <translation>CSV exported: %1</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 小时 %2 分</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>稳定</source>
        <translation>Stable</translation>
    </message>
    <message>
        <source>未稳定</source>
        <translation>Not stable</translation>
    </message>
    <message>
        <source>尚无读数</source>
        <translation>No readings yet</translation>
    </message>
    <message>
        <source>已稳定 %1（%2 s 内跨度 %3）</source>
        <translation>Stable %1 (span %3 in %2 s)</translation>
    </message>
    <message>
        <source>%1 s 内跨度 %2，超过 %3 %4</source>
        <translation>Span %2 in %1 s, over %3 %4</translation>
    </message>
    <message>
        <source>读数不足以覆盖 %1 s 的窗口</source>
        <translation>Too few readings to cover the %1 s window</translation>
    </message>
</context>
<context>
    <name>UnitRecordsModel</name>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>内容</source>
        <translation>What</translation>
    </message>
</context>
<context>
    <name>UnitsModel</name>
    <message>
        <source>温度 %1 ℃</source>
        <translation>temperature %1 ℃</translation>
    </message>
    <message>
        <source>湿度 %1 %RH</source>
        <translation>humidity %1 %RH</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>未判定</source>
        <translation>Not judged</translation>
    </message>
    <message>
        <source>合格 %1 / 不合格 %2</source>
        <translation>pass %1 / fail %2</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>工位</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>串口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>识别信息</source>
        <translation>Identification</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>最大偏差</source>
        <translation>Worst deviation</translation>
    </message>
</context>
<context>
    <name>movra::Session</name>
    <message>
        <source>批量读取参数开始</source>
        <translation>Reading parameters</translation>
    </message>
    <message>
        <source>批量写入参数开始</source>
        <translation>Writing parameters</translation>
    </message>
    <message>
        <source>批量参数写入失败数量为:</source>
        <translation>Parameters not written: </translation>
    </message>
    <message>
        <source>批量参数读取失败数量为:</source>
        <translation>Parameters not read: </translation>
    </message>
    <message>
        <source>批量参数写入完成<byte value="xd"/>
</source>
        <translation>Parameters written<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>已发完批量读取命令<byte value="xd"/>
</source>
        <translation>All read commands sent<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>设备已经断开</source>
        <translation>Device disconnected</translation>
    </message>
    <message>
        <source>正在连接设备……<byte value="xd"/>
</source>
        <translation>Connecting to the device…<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>手动连接超时<byte value="xd"/>
<byte value="xd"/>
</source>
        <translation>Connect timed out<byte value="xd"/>
<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>自动连接超时<byte value="xd"/>
<byte value="xd"/>
</source>
        <translation>Auto connect timed out<byte value="xd"/>
<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>正在手动读取温湿度值</source>
        <translation>Reading temperature and humidity</translation>
    </message>
    <message>
        <source>写入成功</source>
        <translation>Written</translation>
    </message>
    <message>
        <source>正在重启设备：<byte value="xd"/>
</source>
        <translation>Restarting the device:<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>Write failed</translation>
    </message>
</context>
<context>
    <name>movra::trendui::LinkStatsPanel</name>
    <message>
        <source>链路统计（本次连接）</source>
        <translation>Link statistics (this connection)</translation>
    </message>
    <message>
        <source>请求 %1&#x3000;应答 %2&#x3000;超时 %3</source>
        <translation>Requests %1&#x2003;Replies %2&#x2003;Time-outs %3</translation>
    </message>
    <message>
        <source>异常应答 %1&#x3000;无法识别 %2</source>
        <translation>Exception replies %1&#x2003;Not recognised %2</translation>
    </message>
    <message>
        <source>过短 %1&#x3000;校验错 %2&#x3000;未知功能码 %3&#x3000;不符请求 %4</source>
        <translation>Short %1&#x2003;Bad CRC %2&#x2003;Bad function %3&#x2003;Unmatched %4</translation>
    </message>
    <message>
        <source>响应时间&#x3000;尚无应答</source>
        <translation>Response time&#x2003;no replies yet</translation>
    </message>
    <message>
        <source>响应时间&#x3000;最小 %1&#x3000;平均 %2</source>
        <translation>Response time&#x2003;min %1&#x2003;mean %2</translation>
    </message>
    <message>
        <source>&#x3000;&#x3000;&#x3000;&#x3000;&#x3000;P95 %1&#x3000;最大 %2</source>
        <translation>&#x2003;&#x2003;&#x2003;&#x2003;&#x2003;&#x2003;&#x2003;P95 %1&#x2003;max %2</translation>
    </message>
</context>
<context>
    <name>movra::trendui::StabilityPanel</name>
    <message>
        <source>稳定判定</source>
        <translation>Stability verdict</translation>
    </message>
    <message>
        <source>温度：</source>
        <translation>Temp:</translation>
    </message>
    <message>
        <source>湿度：</source>
        <translation>Humi:</translation>
    </message>
    <message>
        <source>判定窗口</source>
        <translation>Window</translation>
    </message>
    <message>
        <source>温度带宽</source>
        <translation>Temp band</translation>
    </message>
    <message>
        <source>湿度带宽</source>
        <translation>Humi band</translation>
    </message>
</context>
</TS>
