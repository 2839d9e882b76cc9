<?xml version="1.0" encoding="UTF-8"?>
<!-- Receipts for a deal report (Receipts): one table row per deal of the report. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"
              doctype-public="-//W3C//DTD HTML 4.01//EN"/>

  <xsl:param name="title" select="'Квитанции на отчет о сделках'"/>
  <!-- The viewer applies it in parts (docs/incoming-messages.md, "Big documents and
       stylesheets applied in parts"): the heading, then the receipts a few hundred at a time. -->
  <xsl:param name="viewer-part" select="''"/>
  <xsl:param name="viewer-first" select="1"/>

  <!-- Rows per table. -->
  <xsl:variable name="chunk" select="200"/>

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

  <xsl:template name="status">
    <xsl:choose>
      <xsl:when test="@Status = 'Accepted'">Принята</xsl:when>
      <xsl:when test="@Status = 'Rejected'">Отклонена</xsl:when>
      <xsl:otherwise><xsl:value-of select="@Status"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="/">
    <xsl:choose>
      <xsl:when test="$viewer-part = 'rows'"><xsl:apply-templates select="*" mode="rows"/></xsl:when>
      <xsl:otherwise><xsl:call-template name="page"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="page">
    <html>
      <head>
        <meta http-equiv="Content-Type" content="text/html; charset=UTF-8"/>
        <title><xsl:value-of select="$title"/></title>
        <style type="text/css">
          body { font: 13px/1.35 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #1f2328; margin: 14px 18px; background: #fff; }
          h1 { font-size: 19px; font-weight: 600; margin: 0 0 6px; color: #17365d; }
          .info { margin: 0 0 3px; color: #444; }
          .refused { margin: 6px 0; padding: 6px 10px; background: #fdecea; border: 1px solid #e0a0a0; }
          .hint { margin: 4px 0 12px; color: #6b6b6b; font-size: 12px; }
          .cut { color: #fff; font-size: 1px; }
          table { border-collapse: collapse; table-layout: fixed; width: 100%; min-width: 940px; }
          th { background: #dbe5f1; color: #17365d; font-weight: 600; text-align: center; padding: 4px 5px; border: 1px solid #9fb4cf; }
          td { padding: 2px 5px; border: 1px solid #d0d7de; overflow: hidden; overflow-wrap: anywhere; }
          td.n { text-align: right; }
          td.c { text-align: center; }
          tr.rejected td { background: #fdf1f0; }
          tr.rejected td.s { color: #b42318; font-weight: 600; }
          tr.accepted td.s { color: #1a7f37; }
          .chunk { content-visibility: auto; contain-intrinsic-size: auto 4400px; }
          .chunk table { margin-top: -1px; }
        </style>
      </head>
      <body>
        <xsl:apply-templates select="*[1]"/>
        <xsl:choose>
          <xsl:when test="$viewer-part = 'head'"><xsl:comment>viewer-rows</xsl:comment></xsl:when>
          <xsl:otherwise><xsl:apply-templates select="*[1]" mode="rows"/></xsl:otherwise>
        </xsl:choose>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="*">
    <h1><xsl:value-of select="$title"/></h1>
    <p class="info">
      <xsl:text>Запрос: </xsl:text><xsl:value-of select="@Request"/>
      <xsl:text> · Обработан: </xsl:text>
      <xsl:call-template name="date"><xsl:with-param name="value" select="@Created"/></xsl:call-template>
    </p>
    <xsl:if test="@Total">
      <p class="info">
        <xsl:text>Сделок в запросе: </xsl:text><xsl:value-of select="@Total"/>
        <xsl:text> · Принято: </xsl:text><xsl:value-of select="@Accepted"/>
        <xsl:text> · Отклонено: </xsl:text><xsl:value-of select="@Rejected"/>
      </p>
    </xsl:if>
    <xsl:if test="@Code or @Text">
      <p class="refused">
        <xsl:text>Запрос отклонен целиком: </xsl:text>
        <xsl:value-of select="@Text"/>
      </p>
    </xsl:if>
    <p class="hint">Кнопка «Экспортировать в MS Excel» в правом верхнем углу окна переносит таблицу в новую книгу, без этого заголовка.<span class="cut"> Save as</span></p>
    <table>
      <colgroup>
        <col style="width:45px"/><col style="width:125px"/><col style="width:120px"/><col style="width:120px"/>
        <col style="width:130px"/><col style="width:110px"/><col style="width:95px"/><col style="width:60px"/><col/>
      </colgroup>
      <thead>
        <tr>
          <th rowspan="2">№</th>
          <th rowspan="2">Номер в реестре</th>
          <th colspan="4">Сделка</th>
          <th colspan="3">Результат</th>
        </tr>
        <tr>
          <th>Договор</th><th>Внутренний номер</th><th>Участник</th><th>Код ЦБ</th>
          <th>Состояние</th><th>Код</th><th>Сообщение</th>
        </tr>
      </thead>
    </table>
  </xsl:template>

  <!-- The receipts of the document element in tables of 200: the browser lays out only the
       ones in view. -->
  <xsl:template match="*" mode="rows">
    <xsl:for-each select="*[position() mod $chunk = 1]">
      <div class="chunk">
        <table>
          <colgroup>
            <col style="width:45px"/><col style="width:125px"/><col style="width:120px"/><col style="width:120px"/>
            <col style="width:130px"/><col style="width:110px"/><col style="width:95px"/><col style="width:60px"/><col/>
          </colgroup>
          <tbody>
            <xsl:apply-templates select="." mode="row">
              <xsl:with-param name="n" select="$viewer-first + (position() - 1) * $chunk"/>
              <xsl:with-param name="left" select="$chunk"/>
            </xsl:apply-templates>
          </tbody>
        </table>
      </div>
    </xsl:for-each>
  </xsl:template>

  <!-- One row, then the next one of its table: each row is visited once. -->
  <xsl:template match="*" mode="row">
    <xsl:param name="n"/>
    <xsl:param name="left"/>
    <tr id="row-{$n}">
      <xsl:attribute name="class">
        <xsl:choose>
          <xsl:when test="@Status = 'Rejected'">rejected</xsl:when>
          <xsl:otherwise>accepted</xsl:otherwise>
        </xsl:choose>
      </xsl:attribute>
      <td class="n"><xsl:value-of select="@N"/></td>
      <td class="c"><xsl:value-of select="@Id"/></td>
      <td><xsl:value-of select="@Agreement"/></td>
      <td><xsl:value-of select="@Reference"/></td>
      <td><xsl:value-of select="@Participant"/></td>
      <td><xsl:value-of select="@Issue"/></td>
      <td class="c s"><xsl:call-template name="status"/></td>
      <td class="c"><xsl:value-of select="@Code"/></td>
      <td><xsl:value-of select="@Text"/></td>
    </tr>
    <xsl:if test="$left &gt; 1">
      <xsl:apply-templates select="following-sibling::*[1]" mode="row">
        <xsl:with-param name="n" select="$n + 1"/>
        <xsl:with-param name="left" select="$left - 1"/>
      </xsl:apply-templates>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
