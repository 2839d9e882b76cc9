<?xml version="1.0" encoding="UTF-8"?>
<!-- Notice about a handbook subscription request (SubscribeResult): the answer in one table. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"
              doctype-public="-//W3C//DTD HTML 4.01//EN"/>

  <xsl:template name="date">
    <xsl:param name="value"/>
    <xsl:choose>
      <xsl:when test="string-length($value) &gt;= 10 and substring($value, 5, 1) = '-'">
        <xsl:value-of select="concat(substring($value, 9, 2), '.', substring($value, 6, 2), '.', substring($value, 1, 4))"/>
        <xsl:if test="string-length($value) &gt; 10">
          <xsl:value-of select="concat(' ', substring($value, 12, 8))"/>
        </xsl:if>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$value"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="/">
    <html>
      <head>
        <meta http-equiv="Content-Type" content="text/html; charset=UTF-8"/>
        <title>Подписка на справочник ценных бумаг</title>
        <style type="text/css">
          body { font: 13px/1.35 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #1f2328; margin: 14px 18px; background: #fff; }
          h1 { font-size: 19px; font-weight: 600; margin: 0 0 6px; color: #17365d; }
          .info { margin: 0 0 3px; color: #444; }
          .hint { margin: 4px 0 12px; color: #6b6b6b; font-size: 12px; }
          .cut { color: #fff; font-size: 1px; }
          table { border-collapse: collapse; }
          th { background: #dbe5f1; color: #17365d; font-weight: 600; text-align: left; padding: 4px 8px; border: 1px solid #9fb4cf; width: 200px; }
          td { padding: 4px 8px; border: 1px solid #d0d7de; min-width: 360px; }
          td.ok { color: #1a7f37; font-weight: 600; }
          td.bad { color: #b42318; font-weight: 600; }
        </style>
      </head>
      <body>
        <xsl:apply-templates select="*[1]"/>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="*">
    <h1>Подписка на справочник ценных бумаг</h1>
    <p class="info">
      <xsl:choose>
        <xsl:when test="@Action = 'Unsubscribe'">Ответ на запрос об отказе от подписки</xsl:when>
        <xsl:otherwise>Ответ на запрос о подписке</xsl:otherwise>
      </xsl:choose>
    </p>
    <p class="hint">Кнопка «Экспортировать в MS Excel» в правом верхнем углу окна переносит таблицу в новую книгу, без этого заголовка.<span class="cut"> Save as</span></p>
    <table>
      <tr><th>Запрос</th><td><xsl:value-of select="@Request"/></td></tr>
      <tr>
        <th>Действие</th>
        <td>
          <xsl:choose>
            <xsl:when test="@Action = 'Subscribe'">Подписка</xsl:when>
            <xsl:when test="@Action = 'Unsubscribe'">Отказ от подписки</xsl:when>
            <xsl:otherwise><xsl:value-of select="@Action"/></xsl:otherwise>
          </xsl:choose>
        </td>
      </tr>
      <tr>
        <th>Состояние</th>
        <xsl:choose>
          <xsl:when test="@Status = 'Accepted'"><td class="ok">Выполнен</td></xsl:when>
          <xsl:when test="@Status = 'Rejected'"><td class="bad">Отклонен</td></xsl:when>
          <xsl:otherwise><td><xsl:value-of select="@Status"/></td></xsl:otherwise>
        </xsl:choose>
      </tr>
      <tr>
        <th>Подписка оформлена</th>
        <td>
          <xsl:choose>
            <xsl:when test="@Subscribed = '1'">да</xsl:when>
            <xsl:when test="@Subscribed = '0'">нет</xsl:when>
            <xsl:otherwise><xsl:value-of select="@Subscribed"/></xsl:otherwise>
          </xsl:choose>
        </td>
      </tr>
      <xsl:if test="@Code or @Text">
        <tr><th>Код</th><td><xsl:value-of select="@Code"/></td></tr>
        <tr><th>Сообщение</th><td><xsl:value-of select="@Text"/></td></tr>
      </xsl:if>
      <tr>
        <th>Обработан</th>
        <td><xsl:call-template name="date"><xsl:with-param name="value" select="@Created"/></xsl:call-template></td>
      </tr>
    </table>
  </xsl:template>
</xsl:stylesheet>
