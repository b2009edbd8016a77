#Hclass	qcar1
#Iprocsr	0
#Imethod	2
#Tstart 	0
#Tfinish	3
#Tstep  	0.0005
#Tcomint	1	0.005
